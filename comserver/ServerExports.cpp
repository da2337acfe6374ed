// The class-object exports the COM runtime calls, answered from the module record.
#include <windows.h>

#include "CServerModule.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    return g_module.GetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return g_module.GetLockCount() == 0 ? S_OK : S_FALSE;
}
