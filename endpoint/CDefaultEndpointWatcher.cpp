#include "CDefaultEndpointWatcher.h"

#include <new>

#include "CEndpointBinding.h"
#include "CoreAudioIds.h"

HRESULT CDefaultEndpointWatcher::Create(CEndpointBinding* pBinding, CDefaultEndpointWatcher** ppWatcher)
{
    *ppWatcher = new (std::nothrow) CDefaultEndpointWatcher(pBinding);
    return *ppWatcher ? S_OK : E_OUTOFMEMORY;
}

CDefaultEndpointWatcher::CDefaultEndpointWatcher(CEndpointBinding* pBinding) : m_cRef(1), m_pBinding(pBinding) {}

STDMETHODIMP CDefaultEndpointWatcher::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualGUID(riid, kIidUnknown) || IsEqualGUID(riid, kIidMMNotificationClient)) {
        AddRef();
        *ppv = static_cast<IMMNotificationClient*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CDefaultEndpointWatcher::AddRef()
{
    return InterlockedIncrement(&m_cRef);
}

STDMETHODIMP_(ULONG) CDefaultEndpointWatcher::Release()
{
    LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return cRef;
}

STDMETHODIMP CDefaultEndpointWatcher::OnDeviceStateChanged(LPCWSTR, DWORD dwNewState)
{
    if (dwNewState != DEVICE_STATE_ACTIVE)
        m_pBinding->RequestMove();
    return S_OK;
}

STDMETHODIMP CDefaultEndpointWatcher::OnDeviceAdded(LPCWSTR)
{
    return S_OK;
}

STDMETHODIMP CDefaultEndpointWatcher::OnDeviceRemoved(LPCWSTR)
{
    m_pBinding->RequestMove();
    return S_OK;
}

STDMETHODIMP CDefaultEndpointWatcher::OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR)
{
    if (flow == eRender && role == eConsole)
        m_pBinding->RequestMove();
    return S_OK;
}

STDMETHODIMP CDefaultEndpointWatcher::OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY)
{
    return S_OK;
}
