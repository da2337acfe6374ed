#include "CSimAudioService.h"

#include <algorithm>

namespace {

const PROPERTYKEY kKeyDeviceName =
    {{0x233164C8, 0x1B2C, 0x4C7D, {0xBC, 0x68, 0xB6, 0x71, 0x68, 0x7A, 0x25, 0x67}}, 1};
const PROPERTYKEY kKeyFriendlyName =
    {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

float DbOf(float fScalar)
{
    return kfSimMinDb + fScalar * (kfSimMaxDb - kfSimMinDb);
}

HRESULT TextValue(const std::wstring& strText, PROPVARIANT* pValue)
{
    size_t cb = (strText.size() + 1) * sizeof(wchar_t);
    pValue->pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(cb));
    if (!pValue->pwszVal)
        return E_OUTOFMEMORY;
    memcpy(pValue->pwszVal, strText.c_str(), cb);
    pValue->vt = VT_LPWSTR;
    return S_OK;
}

// Every COM object of the service: one kind each (enumerator, collection, device, property
// store or volume control), answering only that kind's interface, with one reference count.
class CSimObject : public IMMDeviceEnumerator, public IMMDeviceCollection, public IMMDevice,
                   public IPropertyStore, public IAudioEndpointVolume
{
public:
    CSimObject(CSimAudioService& service, eSimObject kind, int iEndpoint)
        : m_service(service), m_kind(kind), m_iEndpoint(iEndpoint), m_cRef(1)
    {
        m_service.CountObject(m_kind, +1);
    }
    virtual ~CSimObject() { m_service.CountObject(m_kind, -1); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        const IID* rgIid[] = {&__uuidof(IMMDeviceEnumerator), &__uuidof(IMMDeviceCollection),
                              &__uuidof(IMMDevice), &__uuidof(IPropertyStore), &__uuidof(IAudioEndpointVolume)};
        IUnknown* rgpUnknown[] = {static_cast<IMMDeviceEnumerator*>(this), static_cast<IMMDeviceCollection*>(this),
                                  static_cast<IMMDevice*>(this), static_cast<IPropertyStore*>(this),
                                  static_cast<IAudioEndpointVolume*>(this)};
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != *rgIid[m_kind])
            return E_NOINTERFACE;
        *ppv = rgpUnknown[m_kind];
        AddRef();
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

    // IMMDeviceEnumerator
    STDMETHODIMP EnumAudioEndpoints(EDataFlow flow, DWORD dwStateMask, IMMDeviceCollection** ppDevices) override
    {
        return Create(eSimEnumEndpoints, flow == eRender && dwStateMask == DEVICE_STATE_ACTIVE, eSimCollection, 0, ppDevices);
    }
    STDMETHODIMP GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** ppEndpoint) override
    {
        bool bValid = flow == eRender && role == eConsole && m_service.EndpointCount() > 0;
        return Create(eSimGetDefault, bValid, eSimDevice, 0, ppEndpoint);
    }
    // IMMDeviceCollection
    STDMETHODIMP GetCount(UINT* pcDevices) override
    {
        HRESULT hr = m_service.Enter(eSimGetCount);
        if (SUCCEEDED(hr))
            *pcDevices = static_cast<UINT>(m_service.EndpointCount());
        return hr;
    }
    STDMETHODIMP Item(UINT iDevice, IMMDevice** ppDevice) override
    {
        bool bValid = iDevice < static_cast<UINT>(m_service.EndpointCount());
        return Create(eSimItem, bValid, eSimDevice, static_cast<int>(iDevice), ppDevice);
    }
    // IMMDevice
    STDMETHODIMP Activate(REFIID riid, DWORD dwClsCtx, PROPVARIANT* pParams, void** ppv) override
    {
        bool bValid = riid == __uuidof(IAudioEndpointVolume) && dwClsCtx == CLSCTX_ALL && !pParams;
        return Create(eSimActivate, bValid, eSimVolume, m_iEndpoint, reinterpret_cast<IAudioEndpointVolume**>(ppv));
    }
    STDMETHODIMP OpenPropertyStore(DWORD dwAccess, IPropertyStore** ppStore) override
    {
        return Create(eSimOpenPropertyStore, dwAccess == STGM_READ, eSimPropertyStore, m_iEndpoint, ppStore);
    }
    // IPropertyStore: the match key and the friendly name, which differs from it.
    STDMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* pValue) override
    {
        PropVariantInit(pValue);
        HRESULT hr = m_service.Enter(eSimGetValue);
        SimEndpoint endpoint = m_service.Endpoint(m_iEndpoint);
        if (SUCCEEDED(hr) && key == kKeyDeviceName && endpoint.bKeyIsText)
            return TextValue(endpoint.strKey, pValue);
        if (SUCCEEDED(hr) && key == kKeyFriendlyName)
            return TextValue(endpoint.strFriendlyName, pValue);
        return hr;
    }
    // IAudioEndpointVolume
    STDMETHODIMP RegisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
    {
        return m_service.Register(m_iEndpoint, pNotify, true);
    }
    STDMETHODIMP UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
    {
        return m_service.Register(m_iEndpoint, pNotify, false);
    }
    STDMETHODIMP SetMasterVolumeLevel(float fLevelDb, LPCGUID pguidContext) override
    {
        return m_service.SetVolume(m_iEndpoint, eSimSetLevel, fLevelDb, FALSE, pguidContext);
    }
    STDMETHODIMP SetMasterVolumeLevelScalar(float fLevel, LPCGUID pguidContext) override
    {
        return m_service.SetVolume(m_iEndpoint, eSimSetScalar, fLevel, FALSE, pguidContext);
    }
    STDMETHODIMP SetMute(BOOL bMute, LPCGUID pguidContext) override
    {
        return m_service.SetVolume(m_iEndpoint, eSimSetMute, 0.0f, bMute, pguidContext);
    }
    STDMETHODIMP GetMasterVolumeLevel(float* pfLevelDb) override
    {
        return m_service.GetVolume(m_iEndpoint, eSimGetLevel, pfLevelDb, nullptr);
    }
    STDMETHODIMP GetMasterVolumeLevelScalar(float* pfLevel) override
    {
        return m_service.GetVolume(m_iEndpoint, eSimGetScalar, pfLevel, nullptr);
    }
    STDMETHODIMP GetMute(BOOL* pbMute) override { return m_service.GetVolume(m_iEndpoint, eSimGetMute, nullptr, pbMute); }
    STDMETHODIMP GetVolumeRange(float* pfMinDb, float* pfMaxDb, float* pfIncrementDb) override
    {
        *pfMinDb = kfSimMinDb;
        *pfMaxDb = kfSimMaxDb;
        *pfIncrementDb = 0.5f;
        return S_OK;
    }

    // The library uses none of these.
    STDMETHODIMP GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
    STDMETHODIMP RegisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
    STDMETHODIMP UnregisterEndpointNotificationCallback(IMMNotificationClient*) override { return E_NOTIMPL; }
    STDMETHODIMP GetId(LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetState(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCount(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    STDMETHODIMP SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP Commit() override { return E_NOTIMPL; }
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
    // A platform call that makes a new object once its arguments are valid.
    template <class I>
    HRESULT Create(eSimCall call, bool bValid, eSimObject kind, int iEndpoint, I** ppv)
    {
        *ppv = nullptr;
        HRESULT hr = m_service.Enter(call);
        if (FAILED(hr))
            return hr;
        if (!bValid)
            return E_INVALIDARG;
        *ppv = new CSimObject(m_service, kind, iEndpoint);
        return hr;
    }

    CSimAudioService& m_service;
    eSimObject m_kind;
    int m_iEndpoint;
    LONG m_cRef;
};

}

CSimAudioService::CSimAudioService()
{
    CoInitialize(nullptr);
    m_dwRegister = RegisterOnThisThread();
    m_thread = std::thread(&CSimAudioService::RunNotifications, this);
}

CSimAudioService::~CSimAudioService()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cvWork.notify_all();
    m_thread.join();
    RevokeFromThisThread(m_dwRegister);
    for (SimEndpoint& endpoint : m_endpoints) {
        for (IAudioEndpointVolumeCallback* pCallback : endpoint.callbacks)
            pCallback->Release();
    }
    CoUninitialize();
}

int CSimAudioService::AddEndpoint(const wchar_t* pszKey, const wchar_t* pszFriendlyName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endpoints.push_back(SimEndpoint{pszKey ? pszKey : L"", pszKey != nullptr, pszFriendlyName, 0.5f, DbOf(0.5f), false, {}});
    return static_cast<int>(m_endpoints.size()) - 1;
}

void CSimAudioService::Force(eSimCall call, HRESULT hr, int cCalls)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hrForced[call] = hr;
    m_cForced[call] = cCalls;
}

DWORD CSimAudioService::RegisterOnThisThread()
{
    DWORD dwRegister = 0;
    CoRegisterClassObject(__uuidof(MMDeviceEnumerator), this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &dwRegister);
    return dwRegister;
}

void CSimAudioService::RevokeFromThisThread(DWORD dwRegister)
{
    CoRevokeClassObject(dwRegister);
}

void CSimAudioService::ChangeAsOther(int iEndpoint, float fScalar, bool bMuted, const GUID& guidEventContext)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endpoints[iEndpoint].fScalar = fScalar;
    m_endpoints[iEndpoint].fDb = DbOf(fScalar);
    m_endpoints[iEndpoint].bMuted = bMuted;
    QueueLocked(iEndpoint, guidEventContext);
}

void CSimAudioService::Flood(bool bOn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bFlood = bOn;
    m_cvWork.notify_all();
}

void CSimAudioService::Flush()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvDelivered.wait(lock, [&] { return m_queue.empty() && !m_bDelivering; });
}

SimEndpoint CSimAudioService::Endpoint(int iEndpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_endpoints[iEndpoint];
}

int CSimAudioService::EndpointCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_endpoints.size());
}

int CSimAudioService::Live(eSimObject kind)
{
    if (kind != eSimAnyObject)
        return m_cLive[kind];
    int cLive = 0;
    for (const std::atomic<int>& c : m_cLive)
        cLive += c;
    return cLive;
}

int CSimAudioService::Calls(eSimCall call)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cCalls[call];
}

GUID CSimAudioService::LastEventContext()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_guidLastContext;
}

HRESULT CSimAudioService::Enter(eSimCall call)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_cCalls[call];
    if (m_cForced[call] == 0)
        return S_OK;
    --m_cForced[call];
    return m_hrForced[call];
}

HRESULT CSimAudioService::GetVolume(int iEndpoint, eSimCall call, float* pfLevel, BOOL* pbMuted)
{
    HRESULT hr = Enter(call);
    if (FAILED(hr))
        return hr;
    if (!pfLevel && !pbMuted)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    const SimEndpoint& endpoint = m_endpoints[iEndpoint];
    if (pbMuted)
        *pbMuted = endpoint.bMuted ? TRUE : FALSE;
    else
        *pfLevel = call == eSimGetScalar ? endpoint.fScalar : endpoint.fDb;
    return hr;
}

// Levels out of range are refused, as the platform does.
HRESULT CSimAudioService::SetVolume(int iEndpoint, eSimCall call, float fLevel, BOOL bMuted, LPCGUID pguidContext)
{
    HRESULT hr = Enter(call);
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> lock(m_mutex);
    SimEndpoint& endpoint = m_endpoints[iEndpoint];
    if (call == eSimSetMute) {
        endpoint.bMuted = bMuted != FALSE;
    } else if (call == eSimSetScalar) {
        if (fLevel < 0.0f || fLevel > 1.0f)
            return E_INVALIDARG;
        endpoint.fScalar = fLevel;
        endpoint.fDb = DbOf(fLevel);
    } else {
        if (fLevel < kfSimMinDb || fLevel > kfSimMaxDb)
            return E_INVALIDARG;
        endpoint.fDb = fLevel;
        endpoint.fScalar = (fLevel - kfSimMinDb) / (kfSimMaxDb - kfSimMinDb);
    }
    m_guidLastContext = pguidContext ? *pguidContext : GUID_NULL;
    QueueLocked(iEndpoint, m_guidLastContext);
    return hr;
}

HRESULT CSimAudioService::Register(int iEndpoint, IAudioEndpointVolumeCallback* pCallback, bool bRegister)
{
    HRESULT hr = Enter(bRegister ? eSimRegister : eSimUnregister);
    if (FAILED(hr))
        return hr;
    if (!pCallback)
        return E_POINTER;
    std::unique_lock<std::mutex> lock(m_mutex);
    std::vector<IAudioEndpointVolumeCallback*>& callbacks = m_endpoints[iEndpoint].callbacks;
    auto it = std::find(callbacks.begin(), callbacks.end(), pCallback);
    if (bRegister) {
        pCallback->AddRef();
        callbacks.push_back(pCallback);
        return hr;
    }
    if (it == callbacks.end())
        return E_INVALIDARG;
    callbacks.erase(it);
    lock.unlock();
    pCallback->Release();
    return hr;
}

void CSimAudioService::QueueLocked(int iEndpoint, const GUID& guidEventContext)
{
    const SimEndpoint& endpoint = m_endpoints[iEndpoint];
    m_queue.push_back(Notification{iEndpoint, guidEventContext, endpoint.fScalar, endpoint.bMuted});
    m_cvWork.notify_all();
}

// Queued changes first; while flooding, a change by another program on each endpoint in turn.
bool CSimAudioService::NextLocked(Notification& notification)
{
    if (!m_queue.empty()) {
        notification = m_queue.front();
        m_queue.pop_front();
        return true;
    }
    if (!m_bFlood || m_endpoints.empty())
        return false;
    int iEndpoint = m_iFloodNext++ % static_cast<int>(m_endpoints.size());
    notification = Notification{iEndpoint, GUID_NULL, m_endpoints[iEndpoint].fScalar, m_endpoints[iEndpoint].bMuted};
    return true;
}

void CSimAudioService::RunNotifications()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        Notification notification;
        m_cvWork.wait(lock, [&] { return m_bStop || NextLocked(notification); });
        if (m_bStop)
            return;
        AUDIO_VOLUME_NOTIFICATION_DATA data = {notification.guidEventContext, notification.bMuted ? TRUE : FALSE,
                                               notification.fScalar, 1, {notification.fScalar}};
        // Callbacks may unregister, and so be released, from inside their own delivery.
        std::vector<IAudioEndpointVolumeCallback*> callbacks = m_endpoints[notification.iEndpoint].callbacks;
        for (IAudioEndpointVolumeCallback* pCallback : callbacks)
            pCallback->AddRef();
        m_bDelivering = true;
        lock.unlock();
        for (IAudioEndpointVolumeCallback* pCallback : callbacks) {
            pCallback->OnNotify(&data);
            pCallback->Release();
        }
        lock.lock();
        m_bDelivering = false;
        m_cvDelivered.notify_all();
    }
}

STDMETHODIMP CSimAudioService::QueryInterface(REFIID riid, void** ppv)
{
    *ppv = (riid == IID_IUnknown || riid == IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
}

STDMETHODIMP CSimAudioService::CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv)
{
    *ppv = nullptr;
    HRESULT hr = Enter(eSimCreateEnumerator);
    if (FAILED(hr))
        return hr;
    if (pOuter)
        return CLASS_E_NOAGGREGATION;
    CSimObject* pEnumerator = new CSimObject(*this, eSimEnumerator, 0);
    hr = pEnumerator->QueryInterface(riid, ppv);
    pEnumerator->Release();
    return hr;
}
