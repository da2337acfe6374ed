#include "CAggregatedInstance.h"

#include <new>

#include "CServerModule.h"

CAggregatedInstance::CAggregatedInstance(IUnknown* pUnkOuter) : m_cRef(0), m_contained(pUnkOuter) {}

HRESULT CAggregatedInstance::Create(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    CAggregatedInstance* pInstance = new (std::nothrow) CAggregatedInstance(pUnkOuter);
    if (!pInstance)
        return E_OUTOFMEMORY;
    g_module.Lock();
    HRESULT hr = pInstance->QueryInterface(riid, ppv);
    if (hr != S_OK)
        pInstance->Destroy();
    return hr;
}

STDMETHODIMP CAggregatedInstance::QueryInterface(REFIID riid, void** ppv)
{
    if (!IsEqualIID(riid, IID_IUnknown))
        return m_contained.LookupOwnInterface(riid, ppv);
    if (!ppv)
        return E_POINTER;
    *ppv = static_cast<IUnknown*>(this);
    ++m_cRef;
    return S_OK;
}

STDMETHODIMP_(ULONG) CAggregatedInstance::AddRef()
{
    return ++m_cRef;
}

STDMETHODIMP_(ULONG) CAggregatedInstance::Release()
{
    ULONG cRef = --m_cRef;
    if (cRef == 0)
        Destroy();
    return cRef;
}

// The outer object is not released: the contained band never held a reference on it.
void CAggregatedInstance::Destroy()
{
    m_cRef = 1;
    g_module.Unlock();
    delete this;
}
