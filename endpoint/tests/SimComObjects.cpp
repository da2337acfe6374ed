#include "SimComObjects.h"

#include "CSimAudioService.h"

namespace {

// IUnknown for one interface, with the object counted as living by the service.
template <class I, eSimObject eKind>
class CSimObject : public I
{
public:
    explicit CSimObject(CSimAudioService& service) : m_service(service), m_cRef(1)
    {
        m_service.CountObject(eKind, +1);
    }
    virtual ~CSimObject() { m_service.CountObject(eKind, -1); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid != IID_IUnknown && riid != __uuidof(I)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *ppv = static_cast<I*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG cRef = InterlockedDecrement(&m_cRef);
        if (cRef == 0)
            delete this;
        return cRef;
    }

protected:
    CSimAudioService& m_service;

private:
    LONG m_cRef;
};

class CSimVolume : public CSimObject<IAudioEndpointVolume, eSimVolume>
{
public:
    CSimVolume(CSimAudioService& service, int iEndpoint) : CSimObject(service), m_iEndpoint(iEndpoint) {}

    STDMETHODIMP RegisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
    {
        return m_service.Register(m_iEndpoint, pNotify);
    }
    STDMETHODIMP UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
    {
        return m_service.Unregister(m_iEndpoint, pNotify);
    }
    STDMETHODIMP SetMasterVolumeLevel(float fLevelDb, LPCGUID pguidContext) override
    {
        return m_service.SetVolume(m_iEndpoint, eSimSetLevel, fLevelDb, FALSE, pguidContext);
    }
    STDMETHODIMP SetMasterVolumeLevelScalar(float fLevel, LPCGUID pguidContext) override
    {
        return m_service.SetVolume(m_iEndpoint, eSimSetScalar, fLevel, FALSE, pguidContext);
    }
    STDMETHODIMP GetMasterVolumeLevel(float* pfLevelDb) override
    {
        return m_service.GetVolume(m_iEndpoint, eSimGetLevel, pfLevelDb, nullptr);
    }
    STDMETHODIMP GetMasterVolumeLevelScalar(float* pfLevel) override
    {
        return m_service.GetVolume(m_iEndpoint, eSimGetScalar, pfLevel, nullptr);
    }
    STDMETHODIMP SetMute(BOOL bMute, LPCGUID pguidContext) override
    {
        return m_service.SetVolume(m_iEndpoint, eSimSetMute, 0.0f, bMute, pguidContext);
    }
    STDMETHODIMP GetMute(BOOL* pbMute) override
    {
        return m_service.GetVolume(m_iEndpoint, eSimGetMute, nullptr, pbMute);
    }
    STDMETHODIMP GetVolumeRange(float* pfMinDb, float* pfMaxDb, float* pfIncrementDb) override
    {
        *pfMinDb = kfSimMinDb;
        *pfMaxDb = kfSimMaxDb;
        *pfIncrementDb = 0.5f;
        return S_OK;
    }
    // The library uses none of these.
    STDMETHODIMP GetChannelCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP SetChannelVolumeLevel(UINT, float, LPCGUID) override { return E_NOTIMPL; }
    STDMETHODIMP SetChannelVolumeLevelScalar(UINT, float, LPCGUID) override { return E_NOTIMPL; }
    STDMETHODIMP GetChannelVolumeLevel(UINT, float*) override { return E_NOTIMPL; }
    STDMETHODIMP GetChannelVolumeLevelScalar(UINT, float*) override { return E_NOTIMPL; }
    STDMETHODIMP GetVolumeStepInfo(UINT*, UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
    STDMETHODIMP VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
    STDMETHODIMP QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }

private:
    int m_iEndpoint;
};

class CSimPropertyStore : public CSimObject<IPropertyStore, eSimPropertyStore>
{
public:
    CSimPropertyStore(CSimAudioService& service, int iEndpoint) : CSimObject(service), m_iEndpoint(iEndpoint) {}

    STDMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* pValue) override
    {
        return m_service.ReadProperty(m_iEndpoint, key, pValue);
    }
    STDMETHODIMP GetCount(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    STDMETHODIMP SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP Commit() override { return STG_E_ACCESSDENIED; }

private:
    int m_iEndpoint;
};

class CSimDevice : public CSimObject<IMMDevice, eSimDevice>
{
public:
    CSimDevice(CSimAudioService& service, int iEndpoint) : CSimObject(service), m_iEndpoint(iEndpoint) {}

    STDMETHODIMP Activate(REFIID riid, DWORD dwClsCtx, PROPVARIANT* pParams, void** ppv) override
    {
        *ppv = nullptr;
        HRESULT hr = m_service.Enter(eSimActivate);
        if (FAILED(hr))
            return hr;
        if (riid != __uuidof(IAudioEndpointVolume) || dwClsCtx != CLSCTX_ALL || pParams)
            return E_INVALIDARG;
        *ppv = static_cast<IAudioEndpointVolume*>(new CSimVolume(m_service, m_iEndpoint));
        return hr;
    }
    STDMETHODIMP OpenPropertyStore(DWORD dwAccess, IPropertyStore** ppStore) override
    {
        *ppStore = nullptr;
        HRESULT hr = m_service.Enter(eSimOpenPropertyStore);
        if (FAILED(hr))
            return hr;
        if (dwAccess != STGM_READ)
            return E_ACCESSDENIED;
        *ppStore = new CSimPropertyStore(m_service, m_iEndpoint);
        return hr;
    }
    STDMETHODIMP GetId(LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetState(DWORD* pdwState) override
    {
        *pdwState = DEVICE_STATE_ACTIVE;
        return S_OK;
    }

private:
    int m_iEndpoint;
};

class CSimCollection : public CSimObject<IMMDeviceCollection, eSimCollection>
{
public:
    explicit CSimCollection(CSimAudioService& service) : CSimObject(service) {}

    STDMETHODIMP GetCount(UINT* pcDevices) override
    {
        HRESULT hr = m_service.Enter(eSimGetCount);
        if (SUCCEEDED(hr))
            *pcDevices = static_cast<UINT>(m_service.EndpointCount());
        return hr;
    }
    STDMETHODIMP Item(UINT iDevice, IMMDevice** ppDevice) override
    {
        *ppDevice = nullptr;
        HRESULT hr = m_service.Enter(eSimItem);
        if (FAILED(hr))
            return hr;
        if (iDevice >= static_cast<UINT>(m_service.EndpointCount()))
            return E_INVALIDARG;
        *ppDevice = new CSimDevice(m_service, static_cast<int>(iDevice));
        return hr;
    }
};

class CSimEnumerator : public CSimObject<IMMDeviceEnumerator, eSimEnumerator>
{
public:
    explicit CSimEnumerator(CSimAudioService& service) : CSimObject(service) {}

    STDMETHODIMP EnumAudioEndpoints(EDataFlow flow, DWORD dwStateMask, IMMDeviceCollection** ppDevices) override
    {
        *ppDevices = nullptr;
        HRESULT hr = m_service.Enter(eSimEnumEndpoints);
        if (FAILED(hr))
            return hr;
        if (flow != eRender || dwStateMask != DEVICE_STATE_ACTIVE)
            return E_INVALIDARG;
        *ppDevices = new CSimCollection(m_service);
        return hr;
    }
    STDMETHODIMP GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** ppEndpoint) override
    {
        *ppEndpoint = nullptr;
        HRESULT hr = m_service.Enter(eSimGetDefault);
        if (FAILED(hr))
            return hr;
        if (flow != eRender || role != eConsole)
            return E_INVALIDARG;
        if (m_service.EndpointCount() == 0)
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        *ppEndpoint = new CSimDevice(m_service, 0);
        return hr;
    }
    STDMETHODIMP GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
    STDMETHODIMP RegisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
    STDMETHODIMP UnregisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
};

class CSimClassFactory : public IClassFactory
{
public:
    explicit CSimClassFactory(CSimAudioService& service) : m_service(service), m_cRef(1) {}
    virtual ~CSimClassFactory() {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG cRef = InterlockedDecrement(&m_cRef);
        if (cRef == 0)
            delete this;
        return cRef;
    }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        HRESULT hr = m_service.Enter(eSimCreateEnumerator);
        if (FAILED(hr))
            return hr;
        if (pOuter)
            return CLASS_E_NOAGGREGATION;
        CSimEnumerator* pEnumerator = new CSimEnumerator(m_service);
        hr = pEnumerator->QueryInterface(riid, ppv);
        pEnumerator->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    CSimAudioService& m_service;
    LONG m_cRef;
};

}

IClassFactory* CreateSimClassFactory(CSimAudioService& service)
{
    return new CSimClassFactory(service);
}
