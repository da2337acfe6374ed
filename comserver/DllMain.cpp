// The library's entry point and the class-object exports the COM runtime calls.
#include <windows.h>

#include "CServerModule.h"

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        g_module.Attach(hInstance);
        // The library keeps no per-thread state.
        DisableThreadLibraryCalls(hInstance);
        break;
    case DLL_PROCESS_DETACH:
        g_module.Detach();
        break;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    return g_module.GetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return g_module.GetLockCount() == 0 ? S_OK : S_FALSE;
}
