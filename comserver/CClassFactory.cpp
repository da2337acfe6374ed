#include "CClassFactory.h"

#include <new>

#include "CCriticalSectionLock.h"
#include "CServerModule.h"

namespace
{
// The reference held by the class table row does not lock the module.
const LONG kcRefRowOnly = 1;
const LONG kcRefFirstOutside = 2;

IUnknown* FactoryPart(void* pObject)
{
    return static_cast<CClassFactory*>(pObject);
}
}

const InterfaceEntry CClassFactory::s_interfaceTable[] = {
    {&IID_IClassFactory, FactoryPart},
    {nullptr, nullptr},
};

CClassFactory::CClassFactory(PFNCREATEINSTANCE pfnCreateInstance)
    : m_cRef(0), m_pfnCreateInstance(pfnCreateInstance), m_cServerLock(0)
{
    InitializeCriticalSection(&m_csCount);
}

CClassFactory::~CClassFactory()
{
    DeleteCriticalSection(&m_csCount);
}

void CClassFactory::Destroy()
{
    delete this;
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    return InterfaceLookup(this, s_interfaceTable, riid, ppv);
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    CCriticalSectionLock lock(m_csCount);
    LONG cRef = InterlockedIncrement(&m_cRef);
    if (cRef == kcRefFirstOutside)
        g_module.Lock();
    return cRef;
}

// Decides on destruction or the module unlock after leaving the count lock.
STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    LONG cRef;
    {
        CCriticalSectionLock lock(m_csCount);
        InterlockedDecrement(&m_cRef);
        cRef = m_cRef;
    }
    if (cRef == 0)
        Destroy();
    else if (cRef == kcRefRowOnly)
        g_module.Unlock();
    return cRef;
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregate must hold the inner object by its own IUnknown.
    if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return m_pfnCreateInstance(pUnkOuter, riid, ppv);
}

// An unlock without a lock of this class object before it has no effect: taking the module's
// count below what live objects hold would let the library unload under them.
STDMETHODIMP CClassFactory::LockServer(BOOL fLock)
{
    if (fLock) {
        InterlockedIncrement(&m_cServerLock);
        g_module.Lock();
        return S_OK;
    }
    for (LONG cLock = m_cServerLock; cLock > 0; cLock = m_cServerLock) {
        if (InterlockedCompareExchange(&m_cServerLock, cLock - 1, cLock) == cLock) {
            g_module.Unlock();
            break;
        }
    }
    return S_OK;
}

HRESULT CreateClassFactory(PFNCREATEINSTANCE pfnCreateInstance, REFIID riid, void** ppv)
{
    CClassFactory* pFactory = new (std::nothrow) CClassFactory(pfnCreateInstance);
    if (!pFactory)
        return E_OUTOFMEMORY;
    HRESULT hr = pFactory->QueryInterface(riid, ppv);
    if (hr != S_OK)
        pFactory->Destroy();
    return hr;
}
