#include "CContainedInstance.h"

CContainedInstance::CContainedInstance(IUnknown* pUnkOuter) : m_pUnkOuter(pUnkOuter) {}

STDMETHODIMP CContainedInstance::QueryInterface(REFIID riid, void** ppv)
{
    HRESULT hr = m_pUnkOuter->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr))
        return hr;
    return LookupOwnInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CContainedInstance::AddRef()
{
    return m_pUnkOuter->AddRef();
}

STDMETHODIMP_(ULONG) CContainedInstance::Release()
{
    return m_pUnkOuter->Release();
}

HRESULT CContainedInstance::LookupOwnInterface(REFIID riid, void** ppv)
{
    return InterfaceLookup(static_cast<CDeskband*>(this), s_interfaceTable, riid, ppv);
}
