#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

class CEndpointBinding;

// The platform's endpoint notifications for a binding that follows the default render endpoint
// of the console role: a new default, or an endpoint that goes away (the binding finds out
// whether it was its own). The platform calls these methods on its own thread and forbids them
// to wait, to call the enumerator's registration methods and to release an endpoint object for
// good: each only asks the binding for a move, which runs on a thread-pool thread.
class CDefaultEndpointWatcher : public IMMNotificationClient
{
public:
    // A client for pBinding with one reference for the caller, or E_OUTOFMEMORY. The binding
    // unregisters the client before it goes, so the client holds no reference to it.
    [[nodiscard]] static HRESULT Create(CEndpointBinding* pBinding, CDefaultEndpointWatcher** ppWatcher);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnDeviceStateChanged(LPCWSTR pwszDeviceId, DWORD dwNewState) override;
    STDMETHODIMP OnDeviceAdded(LPCWSTR pwszDeviceId) override;
    STDMETHODIMP OnDeviceRemoved(LPCWSTR pwszDeviceId) override;
    STDMETHODIMP OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR pwszDefaultDeviceId) override;
    STDMETHODIMP OnPropertyValueChanged(LPCWSTR pwszDeviceId, const PROPERTYKEY key) override;

private:
    explicit CDefaultEndpointWatcher(CEndpointBinding* pBinding);
    virtual ~CDefaultEndpointWatcher() = default;
    CDefaultEndpointWatcher(const CDefaultEndpointWatcher&) = delete;
    CDefaultEndpointWatcher& operator=(const CDefaultEndpointWatcher&) = delete;

    LONG m_cRef;
    CEndpointBinding* const m_pBinding;
};
