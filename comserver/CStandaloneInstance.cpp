#include "CStandaloneInstance.h"

#include <new>

#include "CServerModule.h"

CStandaloneInstance::CStandaloneInstance() : m_cRef(0) {}

HRESULT CStandaloneInstance::Create(REFIID riid, void** ppv)
{
    CStandaloneInstance* pInstance = new (std::nothrow) CStandaloneInstance;
    if (!pInstance)
        return E_OUTOFMEMORY;
    g_module.Lock();
    HRESULT hr = pInstance->QueryInterface(riid, ppv);
    if (hr != S_OK)
        pInstance->Destroy();
    return hr;
}

STDMETHODIMP CStandaloneInstance::QueryInterface(REFIID riid, void** ppv)
{
    return InterfaceLookup(static_cast<CDeskband*>(this), s_interfaceTable, riid, ppv);
}

STDMETHODIMP_(ULONG) CStandaloneInstance::AddRef()
{
    return ++m_cRef;
}

STDMETHODIMP_(ULONG) CStandaloneInstance::Release()
{
    ULONG cRef = --m_cRef;
    if (cRef == 0)
        Destroy();
    return cRef;
}

// The count is parked at 1 so that a balanced AddRef and Release during the band's teardown
// cannot start a second destruction.
void CStandaloneInstance::Destroy()
{
    m_cRef = 1;
    g_module.Unlock();
    delete this;
}
