#include "CSimAudioService.h"

#include <audioclient.h>

#include <algorithm>

namespace
{

const PROPERTYKEY kKeyDeviceName = {{0x233164C8, 0x1B2C, 0x4C7D, {0xBC, 0x68, 0xB6, 0x71, 0x68, 0x7A, 0x25, 0x67}}, 1};
const PROPERTYKEY kKeyFriendlyName = {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}},
                                      14};

float DbOf(float fScalar)
{
    return kfSimMinDb + fScalar * (kfSimMaxDb - kfSimMinDb);
}

// Watches the task allocator (through which PropVariantClear frees a property string) for the
// strings that the services hand out. Installed once for the process and never revoked, as
// COM defers a revocation while blocks allocated under the spy are still live.
class CStringSpy : public IMallocSpy
{
public:
    static CStringSpy* Get()
    {
        static CStringSpy* s_pSpy = [] {
            static CStringSpy spy;
            return SUCCEEDED(CoRegisterMallocSpy(&spy)) ? &spy : nullptr;
        }();
        return s_pSpy;
    }
    void Watch(void* pv)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_live.push_back(pv);
    }
    int Live()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(m_live.size());
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = riid == IID_IUnknown || riid == IID_IMallocSpy ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(void*) PreFree(void* pv, BOOL) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_live.erase(std::remove(m_live.begin(), m_live.end(), pv), m_live.end());
        return pv;
    }
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T cb) override { return cb; }
    STDMETHODIMP_(void*) PostAlloc(void* pv) override { return pv; }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* pv, SIZE_T cb, void** ppvNew, BOOL) override
    {
        *ppvNew = pv;
        return cb;
    }
    STDMETHODIMP_(void*) PostRealloc(void* pv, BOOL) override { return pv; }
    STDMETHODIMP_(void*) PreGetSize(void* pv, BOOL) override { return pv; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T cb, BOOL) override { return cb; }
    STDMETHODIMP_(void*) PreDidAlloc(void* pv, BOOL) override { return pv; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int nActual) override { return nActual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}

private:
    std::mutex m_mutex;
    std::vector<void*> m_live;
};

HRESULT TextValue(const std::wstring& strText, PROPVARIANT* pValue)
{
    size_t cb = (strText.size() + 1) * sizeof(wchar_t);
    if (!(pValue->pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(cb))))
        return E_OUTOFMEMORY;
    if (CStringSpy* pSpy = CStringSpy::Get())
        pSpy->Watch(pValue->pwszVal);
    memcpy(pValue->pwszVal, strText.c_str(), cb);
    pValue->vt = VT_LPWSTR;
    return S_OK;
}

}

// Methods of the platform's interfaces that the library never calls.
#define SIM_UNUSED(method)                                                                                             \
    STDMETHODIMP method override                                                                                       \
    {                                                                                                                  \
        return E_NOTIMPL;                                                                                              \
    }

// Every COM object of the service: its kind (enumerator, collection, device, property store or
// volume control) decides the one interface it answers to.
class CSimAudioService::CObject : public IMMDeviceEnumerator,
                                  public IMMDeviceCollection,
                                  public IMMDevice,
                                  public IPropertyStore,
                                  public IAudioEndpointVolume
{
public:
    CObject(CSimAudioService& service, eSimObject kind, int iEndpoint)
        : m_service(service), m_kind(kind), m_iEndpoint(iEndpoint)
    {
        ++m_service.m_cLive[kind];
    }
    virtual ~CObject() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        const IID* rgpIid[] = {&__uuidof(IMMDeviceEnumerator), &__uuidof(IMMDeviceCollection), &__uuidof(IMMDevice),
                               &__uuidof(IPropertyStore), &__uuidof(IAudioEndpointVolume)};
        void* rgpv[] = {static_cast<IMMDeviceEnumerator*>(this), static_cast<IMMDeviceCollection*>(this),
                        static_cast<IMMDevice*>(this), static_cast<IPropertyStore*>(this),
                        static_cast<IAudioEndpointVolume*>(this)};
        *ppv = riid == IID_IUnknown || riid == *rgpIid[m_kind] ? rgpv[m_kind] : nullptr;
        return *ppv ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
    // Released for good, the object stays with the service.
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG cRef = InterlockedDecrement(&m_cRef);
        if (cRef == 0) {
            m_service.m_dwReleaseThread[m_kind] = GetCurrentThreadId();
            --m_service.m_cLive[m_kind];
            m_service.Locked([&] { m_service.m_released.push_back(this); });
        }
        return cRef;
    }

    STDMETHODIMP EnumAudioEndpoints(EDataFlow flow, DWORD dwMask, IMMDeviceCollection** ppDevices) override
    {
        bool bValid = flow == eRender && dwMask == DEVICE_STATE_ACTIVE;
        return Create(
            eSimEnumEndpoints, eSimCollection, [&] { return bValid ? 0 : -1; }, ppDevices);
    }
    STDMETHODIMP GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** ppDevice) override
    {
        bool bValid = flow == eRender && role == eConsole;
        return Create(
            eSimGetDefault, eSimDevice, [&] { return bValid ? m_service.m_iDefault : -1; }, ppDevice,
            HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    }
    STDMETHODIMP GetCount(UINT* pcDevices) override
    {
        return Use(eSimGetCount, [&] { return *pcDevices = static_cast<UINT>(Active().size()), S_OK; });
    }
    STDMETHODIMP Item(UINT iDevice, IMMDevice** ppDevice) override
    {
        return Create(
            eSimItem, eSimDevice, [&] { return iDevice < Active().size() ? Active()[iDevice] : -1; }, ppDevice);
    }
    STDMETHODIMP Activate(REFIID riid, DWORD dwClsCtx, PROPVARIANT* pParams, void** ppv) override
    {
        bool bValid = riid == __uuidof(IAudioEndpointVolume) && dwClsCtx == CLSCTX_ALL && !pParams;
        return Create(
            eSimActivate, eSimVolume, [&] { return bValid ? m_iEndpoint : -1; },
            reinterpret_cast<IAudioEndpointVolume**>(ppv));
    }
    STDMETHODIMP OpenPropertyStore(DWORD dwAccess, IPropertyStore** ppStore) override
    {
        return Create(
            eSimOpenPropertyStore, eSimPropertyStore, [&] { return dwAccess == STGM_READ ? m_iEndpoint : -1; },
            ppStore);
    }
    STDMETHODIMP GetId(LPWSTR* ppwszId) override
    {
        std::wstring strId = Id(m_iEndpoint);
        size_t cb = (strId.size() + 1) * sizeof(wchar_t);
        if (!(*ppwszId = static_cast<LPWSTR>(CoTaskMemAlloc(cb))))
            return E_OUTOFMEMORY;
        memcpy(*ppwszId, strId.c_str(), cb);
        return S_OK;
    }
    STDMETHODIMP RegisterEndpointNotificationCallback(IMMNotificationClient* pClient) override
    {
        if (!pClient)
            return E_POINTER;
        return Use(eSimRegisterClient, [&] { return m_service.m_clients.push_back(pClient), S_OK; });
    }
    STDMETHODIMP UnregisterEndpointNotificationCallback(IMMNotificationClient* pClient) override
    {
        HRESULT hr = Use(eSimUnregisterClient, [&] { return Forget(m_service.m_clients, pClient); });
        if (SUCCEEDED(hr))
            WaitUntilNotTelling(pClient);
        return hr;
    }
    // The match key, and the friendly name that differs from it.
    STDMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* pValue) override
    {
        PropVariantInit(pValue);
        return Use(eSimGetValue, [&] {
            if (key == kKeyDeviceName && Mine().bKeyIsText)
                return TextValue(Mine().strKey, pValue);
            return key == kKeyFriendlyName ? TextValue(Mine().strFriendlyName, pValue) : S_OK;
        });
    }
    STDMETHODIMP RegisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
    {
        if (!pNotify)
            return E_POINTER;
        return Use(eSimRegister, [&] { return pNotify->AddRef(), Mine().callbacks.push_back(pNotify), S_OK; });
    }
    // The registration's reference is dropped outside the service's lock, as dropping it may
    // destroy the callback; first a delivery in progress on another thread is waited for.
    STDMETHODIMP UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
    {
        HRESULT hr = Use(eSimUnregister, [&] { return Forget(Mine().callbacks, pNotify); });
        if (FAILED(hr))
            return hr;
        WaitUntilNotTelling(pNotify);
        pNotify->Release();
        return hr;
    }
    // Levels out of range are refused, as the platform does.
    STDMETHODIMP SetMasterVolumeLevel(float fDb, LPCGUID pguid) override
    {
        float fScalar = (fDb - kfSimMinDb) / (kfSimMaxDb - kfSimMinDb);
        bool bValid = fDb >= kfSimMinDb && fDb <= kfSimMaxDb;
        return Use(eSimSetLevel, [&] { return bValid ? Change(fScalar, fDb, Mine().bMuted, pguid) : E_INVALIDARG; });
    }
    STDMETHODIMP SetMasterVolumeLevelScalar(float fLevel, LPCGUID pguid) override
    {
        bool bValid = fLevel >= 0.0f && fLevel <= 1.0f;
        return Use(eSimSetScalar,
                   [&] { return bValid ? Change(fLevel, DbOf(fLevel), Mine().bMuted, pguid) : E_INVALIDARG; });
    }
    STDMETHODIMP SetMute(BOOL bMute, LPCGUID pguid) override
    {
        return Use(eSimSetMute, [&] { return Change(Mine().fScalar, Mine().fDb, bMute != FALSE, pguid); });
    }
    STDMETHODIMP GetMasterVolumeLevel(float* pfDb) override { return Read(eSimGetLevel, pfDb, Mine().fDb); }
    STDMETHODIMP GetMasterVolumeLevelScalar(float* pfLevel) override
    {
        return Read(eSimGetScalar, pfLevel, Mine().fScalar);
    }
    STDMETHODIMP GetMute(BOOL* pbMute) override { return Read(eSimGetMute, pbMute, Mine().bMuted); }
    STDMETHODIMP GetVolumeRange(float* pfMinDb, float* pfMaxDb, float* pfStepDb) override
    {
        *pfMinDb = kfSimMinDb;
        *pfMaxDb = kfSimMaxDb;
        *pfStepDb = 0.5f;
        return S_OK;
    }

    SIM_UNUSED(GetDevice(LPCWSTR, IMMDevice**))
    SIM_UNUSED(GetState(DWORD*))
    SIM_UNUSED(GetCount(DWORD*))
    SIM_UNUSED(GetAt(DWORD, PROPERTYKEY*))
    SIM_UNUSED(Commit())
    SIM_UNUSED(SetValue(REFPROPERTYKEY, REFPROPVARIANT))
    SIM_UNUSED(GetChannelCount(UINT*))
    SIM_UNUSED(QueryHardwareSupport(DWORD*))
    SIM_UNUSED(SetChannelVolumeLevel(UINT, float, LPCGUID))
    SIM_UNUSED(GetChannelVolumeLevel(UINT, float*))
    SIM_UNUSED(SetChannelVolumeLevelScalar(UINT, float, LPCGUID))
    SIM_UNUSED(GetChannelVolumeLevelScalar(UINT, float*))
    SIM_UNUSED(GetVolumeStepInfo(UINT*, UINT*))
    SIM_UNUSED(VolumeStepUp(LPCGUID))
    SIM_UNUSED(VolumeStepDown(LPCGUID))

private:
    // A platform call: counted, delayed and failed when told so, else the action under the
    // service's lock. The endpoint's objects fail once it is gone (an unregistration still works).
    template <class F> HRESULT Use(eSimCall call, F action)
    {
        DWORD dwDelay = 0;
        HRESULT hr = m_service.Enter(call, &dwDelay);
        Sleep(dwDelay);
        if (m_cRef == 0)
            ++m_service.m_cCallsOnReleased;
        if (FAILED(hr))
            return hr;
        HRESULT hrAction = m_service.Locked([&] {
            bool bGone = (m_kind == eSimDevice || m_kind == eSimVolume) && call != eSimUnregister && !Mine().bActive;
            return bGone ? AUDCLNT_E_DEVICE_INVALIDATED : action();
        });
        return FAILED(hrAction) ? hrAction : hr;
    }
    // An object of a kind for the endpoint that endpointOf() names under the lock; hrNone when it
    // names none (-1).
    template <class I, class F>
    HRESULT Create(eSimCall call, eSimObject kind, F endpointOf, I** ppv, HRESULT hrNone = E_INVALIDARG)
    {
        *ppv = nullptr;
        return Use(call, [&] {
            int iEndpoint = endpointOf();
            *ppv = iEndpoint >= 0 ? new CObject(m_service, kind, iEndpoint) : nullptr;
            return *ppv ? S_OK : hrNone;
        });
    }
    template <class T> static HRESULT Forget(std::vector<T*>& registered, T* p)
    {
        auto it = std::find(registered.begin(), registered.end(), p);
        return it == registered.end() ? E_INVALIDARG : (registered.erase(it), S_OK);
    }
    void WaitUntilNotTelling(const void* pListener)
    {
        std::unique_lock<std::mutex> lock(m_service.m_mutex);
        if (m_service.m_bUnregisterWaits && GetCurrentThreadId() != m_service.m_dwNotificationThread)
            m_service.m_cvDelivered.wait(lock, [&] { return m_service.m_pDeliveringTo != pListener; });
    }
    template <class T, class V> HRESULT Read(eSimCall call, T* pValue, const V& value)
    {
        return Use(call, [&] { return pValue ? (*pValue = value, S_OK) : E_POINTER; });
    }
    // The active endpoints' indexes, in order.
    std::vector<int> Active()
    {
        std::vector<int> active;
        for (size_t i = 0; i < m_service.m_endpoints.size(); ++i) {
            if (m_service.m_endpoints[i].bActive)
                active.push_back(static_cast<int>(i));
        }
        return active;
    }
    SimEndpoint& Mine() { return m_service.m_endpoints[m_iEndpoint]; }
    HRESULT Change(float fScalar, float fDb, bool bMuted, LPCGUID pguid)
    {
        return m_service.ChangeLocked(m_iEndpoint, fScalar, fDb, bMuted, pguid);
    }

    CSimAudioService& m_service;
    eSimObject m_kind;
    int m_iEndpoint;
    LONG m_cRef = 1;
};

CSimAudioService::CSimAudioService()
{
    CoInitialize(nullptr);
    m_dwRegister = RegisterOnThisThread();
    m_thread = std::thread(&CSimAudioService::RunNotifications, this);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvDelivered.wait(lock, [&] { return m_dwNotificationThread != 0; });
}

CSimAudioService::~CSimAudioService()
{
    Locked([&] { m_bStop = true; });
    m_cvChanged.notify_all();
    m_thread.join();
    RevokeFromThisThread(m_dwRegister);
    for (SimEndpoint& endpoint : m_endpoints) {
        for (IAudioEndpointVolumeCallback* pCallback : endpoint.callbacks)
            pCallback->Release();
    }
    for (CObject* pObject : m_released)
        delete pObject;
    CoUninitialize();
}

int CSimAudioService::AddEndpoint(const wchar_t* pszKey, const wchar_t* pszFriendlyName)
{
    SimEndpoint endpoint{
        pszKey ? pszKey : L"", pszKey != nullptr, pszFriendlyName, 0.5f, DbOf(0.5f), false, {}, {}, true};
    return Locked([&] {
        m_endpoints.push_back(endpoint);
        return static_cast<int>(m_endpoints.size()) - 1;
    });
}

DWORD CSimAudioService::RegisterOnThisThread()
{
    DWORD dwRegister = 0;
    CoRegisterClassObject(__uuidof(MMDeviceEnumerator), this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &dwRegister);
    return dwRegister;
}

void CSimAudioService::ChangeAsOther(int iEndpoint, float fScalar, bool bMuted, const GUID& guidEventContext)
{
    Locked([&] { return ChangeLocked(iEndpoint, fScalar, DbOf(fScalar), bMuted, &guidEventContext); });
}

void CSimAudioService::SetDefault(int iEndpoint)
{
    Locked([&] {
        m_iDefault = iEndpoint;
        Notify(eDefaultChanged, iEndpoint);
    });
}

void CSimAudioService::RemoveEndpoint(int iEndpoint)
{
    Locked([&] {
        m_endpoints[iEndpoint].bActive = false;
        if (m_iDefault == iEndpoint) {
            auto it =
                std::find_if(m_endpoints.begin(), m_endpoints.end(), [](const SimEndpoint& e) { return e.bActive; });
            m_iDefault = it == m_endpoints.end() ? -1 : static_cast<int>(it - m_endpoints.begin());
        }
        Notify(eEndpointRemoved, iEndpoint);
    });
}

void CSimAudioService::Flush()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvDelivered.wait(lock, [&] { return m_queue.empty() && !m_bDelivering; });
}

int CSimAudioService::LiveStrings()
{
    CStringSpy* pSpy = CStringSpy::Get();
    return pSpy ? pSpy->Live() : -1;
}

int CSimAudioService::Live(eSimObject kind)
{
    int cLive = 0;
    for (int iKind = 0; iKind < eSimAnyObject; ++iKind)
        cLive += kind == eSimAnyObject || kind == iKind ? m_cLive[iKind].load() : 0;
    return cLive;
}

STDMETHODIMP CSimAudioService::QueryInterface(REFIID riid, void** ppv)
{
    *ppv = riid == IID_IUnknown || riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
}

STDMETHODIMP CSimAudioService::CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv)
{
    *ppv = nullptr;
    DWORD dwDelay = 0;
    HRESULT hr = Enter(eSimCreateEnumerator, &dwDelay);
    Sleep(dwDelay);
    if (FAILED(hr) || pOuter)
        return pOuter ? CLASS_E_NOAGGREGATION : hr;
    CObject* pEnumerator = new CObject(*this, eSimEnumerator, 0);
    hr = pEnumerator->QueryInterface(riid, ppv);
    pEnumerator->Release();
    return hr;
}

HRESULT CSimAudioService::Enter(eSimCall call, DWORD* pdwDelay)
{
    return Locked([&] {
        ++m_cCalls[call];
        m_dwThread[call] = GetCurrentThreadId();
        *pdwDelay = m_dwDelayNext[call];
        m_dwDelayNext[call] = 0;
        HRESULT hr = m_hrNext[call];
        m_hrNext[call] = S_OK;
        return hr;
    });
}

bool CSimAudioService::IsRegistered(const Notification& notification, const void* pListener)
{
    if (notification.notice != eVolumeChanged)
        return std::find(m_clients.begin(), m_clients.end(), pListener) != m_clients.end();
    const std::vector<IAudioEndpointVolumeCallback*>& callbacks = m_endpoints[notification.iEndpoint].callbacks;
    return std::find(callbacks.begin(), callbacks.end(), pListener) != callbacks.end();
}

std::wstring CSimAudioService::Id(int iEndpoint)
{
    return L"{0.0.0.00000000}.{sim-" + std::to_wstring(iEndpoint) + L"}";
}

HRESULT CSimAudioService::ChangeLocked(int iEndpoint, float fScalar, float fDb, bool bMuted, const GUID* pguidContext)
{
    SimEndpoint& endpoint = m_endpoints[iEndpoint];
    endpoint.fScalar = fScalar;
    endpoint.fDb = fDb;
    endpoint.bMuted = bMuted;
    endpoint.guidLastContext = pguidContext ? *pguidContext : GUID_NULL;
    AUDIO_VOLUME_NOTIFICATION_DATA data = {endpoint.guidLastContext, bMuted ? TRUE : FALSE, fScalar, 1, {fScalar}};
    m_queue.push_back(Notification{eVolumeChanged, iEndpoint, data});
    m_cvChanged.notify_all();
    return S_OK;
}

void CSimAudioService::Notify(eNotice notice, int iEndpoint)
{
    m_queue.push_back(Notification{notice, iEndpoint, {}});
    m_cvChanged.notify_all();
}

void CSimAudioService::Tell(const Notification& notification, void* pListener)
{
    std::wstring strId = Id(notification.iEndpoint);
    if (notification.notice == eVolumeChanged) {
        AUDIO_VOLUME_NOTIFICATION_DATA data = notification.data;
        static_cast<IAudioEndpointVolumeCallback*>(pListener)->OnNotify(&data);
    } else if (notification.notice == eEndpointRemoved) {
        static_cast<IMMNotificationClient*>(pListener)->OnDeviceStateChanged(strId.c_str(), DEVICE_STATE_NOTPRESENT);
    } else {
        for (ERole role : {eConsole, eMultimedia, eCommunications}) {
            static_cast<IMMNotificationClient*>(pListener)->OnDefaultDeviceChanged(
                eRender, role, notification.iEndpoint >= 0 ? strId.c_str() : nullptr);
        }
    }
}

// Each callback or client is told if it is still registered when its turn comes; it stays
// alive until it is entered, as Unregister waits for that.
void CSimAudioService::RunNotifications()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_dwNotificationThread = GetCurrentThreadId();
    m_cvDelivered.notify_all();
    for (;;) {
        m_cvChanged.wait(lock, [&] { return m_bStop || !m_queue.empty(); });
        if (m_bStop)
            break;
        Notification notification = m_queue.front();
        m_queue.pop_front();
        m_bDelivering = true;
        std::vector<void*> listeners(m_clients.begin(), m_clients.end());
        if (notification.notice == eVolumeChanged) {
            const std::vector<IAudioEndpointVolumeCallback*>& callbacks = m_endpoints[notification.iEndpoint].callbacks;
            listeners.assign(callbacks.begin(), callbacks.end());
        }
        for (void* pListener : listeners) {
            if (!IsRegistered(notification, pListener))
                continue;
            m_pDeliveringTo = pListener;
            lock.unlock();
            ULONGLONG ullStart = GetTickCount64();
            Tell(notification, pListener);
            DWORD dwTook = static_cast<DWORD>(GetTickCount64() - ullStart);
            APTTYPE type;
            APTTYPEQUALIFIER qualifier;
            if (FAILED(CoGetApartmentType(&type, &qualifier)) || qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA)
                m_bApartmentLost = true;
            lock.lock();
            m_pDeliveringTo = nullptr;
            m_dwLongestDelivery = std::max(m_dwLongestDelivery, dwTook);
            m_cvDelivered.notify_all();
        }
        m_bDelivering = false;
        m_cvDelivered.notify_all();
    }
    lock.unlock();
    CoUninitialize();
}
