// Veltrix's entry point and its class table: the COM server frame serves the classes listed
// here.
#include <windows.h>

#include "CClassFactory.h"
#include "CServerModule.h"
#include "ClassEntry.h"
#include "DeskbandClass.h"
#include "IDeskband.h"

namespace
{
// Every field is a constant address, so the table needs no static construction.
const ClassEntry s_classTable[] = {
    {&CLSID_Deskband, UpdateDeskbandRegistry, CreateClassFactory, CreateDeskbandInstance, nullptr,
     GetDeskbandDescription, GetDeskbandCategories, DeskbandClassStartStop},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        g_module.Attach(hInstance, s_classTable);
        // The library keeps no per-thread state.
        DisableThreadLibraryCalls(hInstance);
        break;
    case DLL_PROCESS_DETACH:
        g_module.Detach();
        break;
    }
    return TRUE;
}
