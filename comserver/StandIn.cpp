// Stand-in for the module and class objects until they land: just enough for a client to
// load the library, get the class object and create a band through the exports.
#include <new>

#include "CDeskband.h"
#include "CServerModule.h"

CServerModule g_module;
HINSTANCE g_hInstance;

void* ModuleAlloc(size_t cb) { return HeapAlloc(GetProcessHeap(), 0, cb); }
void* ModuleRealloc(void* pv, size_t cb) { return pv ? HeapReAlloc(GetProcessHeap(), 0, pv, cb) : ModuleAlloc(cb); }
void ModuleFree(void* pv) { if (pv) HeapFree(GetProcessHeap(), 0, pv); }
LONG CServerModule::Lock() { return InterlockedIncrement(&m_cLock); }
LONG CServerModule::Unlock() { return InterlockedDecrement(&m_cLock); }
LONG CServerModule::GetLockCount() const { return m_cLock; }

HRESULT InterfaceLookup(void* pObject, const InterfaceEntry* pTable, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const InterfaceEntry* p = pTable; p->piid; ++p) {
        if (riid == IID_IUnknown || riid == *p->piid) {
            IUnknown* pPart = p->pfnPart(pObject);
            pPart->AddRef();
            *ppv = pPart;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

namespace
{
class CStandaloneInstance : public CDeskband
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return InterfaceLookup(this, s_interfaceTable, riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG c = --m_cRef;
        if (c == 0) { g_module.Unlock(); delete this; }
        return c;
    }
    ULONG m_cRef = 0;
};

class CStandInFactory : public IClassFactory
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = (riid == IID_IUnknown || riid == IID_IClassFactory) ? this : nullptr;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (pOuter) return CLASS_E_NOAGGREGATION;
        CStandaloneInstance* p = new (std::nothrow) CStandaloneInstance;
        if (!p) return E_OUTOFMEMORY;
        g_module.Lock();
        HRESULT hr = p->QueryInterface(riid, ppv);
        if (FAILED(hr)) { g_module.Unlock(); delete p; }
        return hr;
    }
    STDMETHODIMP LockServer(BOOL fLock) override { fLock ? g_module.Lock() : g_module.Unlock(); return S_OK; }
};
CStandInFactory g_factory;
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH) g_hInstance = hInstance;
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_Deskband) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_module.GetLockCount() == 0 ? S_OK : S_FALSE; }
