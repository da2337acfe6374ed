#pragma once

// A simulated audio service for Quillon's tests and demonstrations (the platform here can neither
// set a volume nor notify): the class object of the platform's device enumerator, registered
// in-process, so that the library's own CoCreateInstance finds it.
#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
#include <audioclient.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the service records of one platform call, named as the platform names it ("Activate"):
// how often it came, on which thread last, and an action that its next call runs first.
struct SimCall
{
    int cCalls;
    DWORD dwThread;
    std::function<HRESULT()> next;
};

// An endpoint's range: -64 to 0 dB, linear in the scalar level, so that both convert exactly.
const float kfSimMinDb = -64.0f;

struct SimEndpoint
{
    std::wstring strKey;
    bool bNoKey; // the key property holds an object, no text
    std::wstring strName;
    float fScalar;
    bool bMuted;
    GUID guidLastContext;
    bool bActive; // false once removed: no longer listed, and its objects fail
};

// Methods of the platform's interfaces that the library never calls.
#define SIM_UNUSED(method)                                                                                             \
    STDMETHODIMP method override                                                                                       \
    {                                                                                                                  \
        return E_NOTIMPL;                                                                                              \
    }

// Render endpoints with level and mute, one of them the default, and a notification thread of
// its own in the multithreaded apartment that tells registered volume callbacks of each change
// with the changer's context, and endpoint notification clients of a new default or of an
// endpoint gone. As the platform does, the service holds a reference to a volume callback for
// its registration only, and Unregister waits for a delivery to it under way on another thread.
// Its objects stay with it until it goes, so that a call reaching one released for good is
// counted, not a crash.
class CSimAudioService : public IClassFactory
{
public:
    // Registered on this thread, which it enters into COM.
    CSimAudioService()
    {
        CoInitialize(nullptr);
        (void)RegisterOnThisThread();
        m_thread = std::thread(&CSimAudioService::Run, this);
    }
    // The callbacks still registered are the library's leaks, and so are the live objects.
    ~CSimAudioService()
    {
        Locked([&] { m_bStop = true; });
        m_cv.notify_all();
        m_thread.join();
        for (const Registration& registration : m_registrations) {
            if (registration.second >= 0)
                registration.first->Release();
        }
        for (CObject* pObject : m_released)
            delete pObject;
        CoUninitialize();
    }

    // Endpoint 0 is the default one until SetDefault.
    int AddEndpoint(const wchar_t* pszKey, const wchar_t* pszName = L"Speakers")
    {
        return Locked([&] {
            m_endpoints.push_back(SimEndpoint{pszKey ? pszKey : L"", !pszKey, pszName, 0.5f, false, GUID_NULL, true});
            return static_cast<int>(m_endpoints.size()) - 1;
        });
    }
    // The next call of that name runs action first, outside the service's lock, and fails with
    // its result (a success code lets the call go on and is returned).
    void OnNext(const char* pszCall, std::function<HRESULT()> action)
    {
        Locked([&] { m_calls[pszCall].next = std::move(action); });
    }
    void FailNext(const char* pszCall, HRESULT hr = E_FAIL)
    {
        OnNext(pszCall, [hr] { return hr; });
    }
    // CoCreateInstance finds class objects of the caller's apartment only: a thread that opens
    // endpoints registers the service too (COM entered; its last CoUninitialize revokes it).
    DWORD RegisterOnThisThread()
    {
        DWORD dwRegister = 0;
        (void)CoRegisterClassObject(__uuidof(MMDeviceEnumerator), this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &dwRegister);
        return dwRegister;
    }
    // From now on Unregister lets go at once: only the library's own references keep a callback
    // that is being told.
    void UnregisterWithoutWaiting() { m_bUnregisterWaits = false; }

    // Another program's change, as the platform reports it.
    void ChangeAsOther(int iEndpoint, float fScalar, bool bMuted, const GUID& guidEventContext)
    {
        Locked([&] { return Change(iEndpoint, fScalar, bMuted, &guidEventContext); });
    }
    // The platform tells clients of a new default for each role.
    void SetDefault(int iEndpoint)
    {
        Locked([&] {
            m_iDefault = iEndpoint;
            Post(-1, [iEndpoint](IUnknown* pListener) {
                for (ERole role : {eConsole, eMultimedia, eCommunications})
                    static_cast<IMMNotificationClient*>(pListener)->OnDefaultDeviceChanged(eRender, role,
                                                                                           Id(iEndpoint).c_str());
            });
        });
    }
    // Clients hear only that its state changed, as the platform may tell that before it names a
    // new default; a removed default gives way to endpoint 0.
    void RemoveEndpoint(int iEndpoint)
    {
        Locked([&] {
            m_endpoints[iEndpoint].bActive = false;
            m_iDefault = m_iDefault == iEndpoint ? 0 : m_iDefault.load();
            Post(-1, [iEndpoint](IUnknown* pListener) {
                static_cast<IMMNotificationClient*>(pListener)->OnDeviceStateChanged(Id(iEndpoint).c_str(),
                                                                                     DEVICE_STATE_NOTPRESENT);
            });
        });
    }
    // Whether every change made so far was told within dwMs.
    bool Flush(DWORD dwMs = 10000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(dwMs), [&] { return m_queue.empty(); });
    }

    SimEndpoint Endpoint(int iEndpoint)
    {
        return Locked([&] { return m_endpoints[iEndpoint]; });
    }
    SimCall Call(const char* pszCall)
    {
        return Locked([&] { return m_calls[pszCall]; });
    }
    // The endpoints of the registered volume callbacks, and -1 for each client, in order.
    std::vector<int> Registrations()
    {
        std::vector<int> endpoints;
        Locked([&] {
            for (const Registration& registration : m_registrations)
                endpoints.push_back(registration.second);
        });
        return endpoints;
    }
    // Live objects of a kind ("IAudioEndpointVolume"), or of all kinds (the class object is not
    // counted).
    int Live(const char* pszKind = "")
    {
        return Locked([&] { return m_live[pszKind]; });
    }
    int CallsOnReleased() { return m_cCallsOnReleased; }
    DWORD NotificationThread() { return m_dwNotificationThread; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = riid == IID_IUnknown || riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        const HRESULT hr = pOuter ? CLASS_E_NOAGGREGATION : Enter(__func__);
        if (FAILED(hr))
            return hr;
        CObject* pEnumerator = Locked([&] { return new CObject(*this, "IMMDeviceEnumerator", -1); });
        const HRESULT hrQuery = pEnumerator->QueryInterface(riid, ppv);
        pEnumerator->Release();
        return hrQuery;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    // Each object is of one kind, for one endpoint (or for none, -1).
    class CObject : public IMMDeviceEnumerator,
                    public IMMDeviceCollection,
                    public IMMDevice,
                    public IPropertyStore,
                    public IAudioEndpointVolume
    {
    public:
        CObject(CSimAudioService& service, const char* pszKind, int iEndpoint)
            : m_service(service), m_pszKind(pszKind), m_iEndpoint(iEndpoint)
        {
            ++m_service.m_live[pszKind]; // under the service's lock
            ++m_service.m_live[""];
        }
        virtual ~CObject() = default;

        // The library asks only the enumerator for an interface.
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
        {
            const bool bEnumerator = strcmp(m_pszKind, "IMMDeviceEnumerator") == 0;
            const bool bKnown = riid == IID_IUnknown || (riid == __uuidof(IMMDeviceEnumerator) && bEnumerator);
            *ppv = bKnown ? static_cast<IMMDeviceEnumerator*>(this) : nullptr;
            return bKnown ? (AddRef(), S_OK) : E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
        STDMETHODIMP_(ULONG) Release() override
        {
            const LONG cRef = InterlockedDecrement(&m_cRef);
            if (cRef == 0) {
                (void)m_service.Enter(__func__);
                m_service.Locked([&] {
                    --m_service.m_live[m_pszKind];
                    --m_service.m_live[""];
                    m_service.m_released.push_back(this);
                });
            }
            return cRef;
        }

        STDMETHODIMP EnumAudioEndpoints(EDataFlow flow, DWORD dwMask, IMMDeviceCollection** ppDevices) override
        {
            return Make(__func__, "IMMDeviceCollection", flow == eRender && dwMask == DEVICE_STATE_ACTIVE ? -1 : -2,
                        ppDevices);
        }
        STDMETHODIMP GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** ppDevice) override
        {
            return Make(__func__, "IMMDevice", flow == eRender && role == eConsole ? m_service.m_iDefault.load() : -2,
                        ppDevice);
        }
        STDMETHODIMP GetCount(UINT* pcDevices) override
        {
            return Use(__func__, [&] { return *pcDevices = static_cast<UINT>(Active().size()), S_OK; });
        }
        STDMETHODIMP Item(UINT iDevice, IMMDevice** ppDevice) override
        {
            return Make(__func__, "IMMDevice", -1, ppDevice, static_cast<int>(iDevice));
        }
        STDMETHODIMP Activate(REFIID riid, DWORD, PROPVARIANT*, void** ppv) override
        {
            return Make(__func__, "IAudioEndpointVolume", riid == __uuidof(IAudioEndpointVolume) ? m_iEndpoint : -2,
                        reinterpret_cast<IAudioEndpointVolume**>(ppv));
        }
        STDMETHODIMP OpenPropertyStore(DWORD, IPropertyStore** ppStore) override
        {
            return Make(__func__, "IPropertyStore", m_iEndpoint, ppStore);
        }
        STDMETHODIMP GetId(LPWSTR* ppwszId) override
        {
            return (*ppwszId = TaskText(Id(m_iEndpoint))) ? S_OK : E_OUTOFMEMORY;
        }
        // A key without text is an object, which PropVariantClear releases: a value left
        // uncleared shows as a live object.
        STDMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* pValue) override
        {
            const PROPERTYKEY kKey = {{0x233164C8, 0x1B2C, 0x4C7D, {0xBC, 0x68, 0xB6, 0x71, 0x68, 0x7A, 0x25, 0x67}},
                                      1};
            const PROPERTYKEY kName = {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}},
                                       14};
            PropVariantInit(pValue);
            return Use(__func__, [&] {
                if (key == kKey && Mine().bNoKey) {
                    pValue->vt = VT_UNKNOWN;
                    pValue->punkVal = static_cast<IMMDevice*>(new CObject(m_service, "IUnknown", -1));
                } else if (key == kKey || key == kName) {
                    pValue->vt = VT_LPWSTR;
                    pValue->pwszVal = TaskText(key == kKey ? Mine().strKey : Mine().strName);
                }
                return S_OK;
            });
        }
        STDMETHODIMP RegisterEndpointNotificationCallback(IMMNotificationClient* pClient) override
        {
            return Register(__func__, pClient);
        }
        STDMETHODIMP UnregisterEndpointNotificationCallback(IMMNotificationClient* pClient) override
        {
            return Unregister(__func__, pClient);
        }
        STDMETHODIMP RegisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
        {
            return Register(__func__, pNotify);
        }
        STDMETHODIMP UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
        {
            return Unregister(__func__, pNotify);
        }
        STDMETHODIMP SetMasterVolumeLevel(float fDb, LPCGUID pguid) override
        {
            return Use(__func__,
                       [&] { return m_service.Change(m_iEndpoint, 1 - fDb / kfSimMinDb, Mine().bMuted, pguid); });
        }
        STDMETHODIMP SetMasterVolumeLevelScalar(float fLevel, LPCGUID pguid) override
        {
            return Use(__func__, [&] { return m_service.Change(m_iEndpoint, fLevel, Mine().bMuted, pguid); });
        }
        STDMETHODIMP SetMute(BOOL bMute, LPCGUID pguid) override
        {
            return Use(__func__, [&] { return m_service.Change(m_iEndpoint, Mine().fScalar, bMute != FALSE, pguid); });
        }
        STDMETHODIMP GetMasterVolumeLevel(float* pfDb) override
        {
            return Use(__func__, [&] { return *pfDb = kfSimMinDb * (1 - Mine().fScalar), S_OK; });
        }
        STDMETHODIMP GetMasterVolumeLevelScalar(float* pfLevel) override
        {
            return Use(__func__, [&] { return *pfLevel = Mine().fScalar, S_OK; });
        }
        STDMETHODIMP GetMute(BOOL* pbMuted) override
        {
            return Use(__func__, [&] { return *pbMuted = Mine().bMuted, S_OK; });
        }

        SIM_UNUSED(GetDevice(LPCWSTR, IMMDevice**))
        SIM_UNUSED(GetState(DWORD*))
        SIM_UNUSED(GetCount(DWORD*))
        SIM_UNUSED(GetAt(DWORD, PROPERTYKEY*))
        SIM_UNUSED(Commit())
        SIM_UNUSED(SetValue(REFPROPERTYKEY, REFPROPVARIANT))
        SIM_UNUSED(GetChannelCount(UINT*))
        SIM_UNUSED(QueryHardwareSupport(DWORD*))
        SIM_UNUSED(GetVolumeRange(float*, float*, float*))
        SIM_UNUSED(SetChannelVolumeLevel(UINT, float, LPCGUID))
        SIM_UNUSED(GetChannelVolumeLevel(UINT, float*))
        SIM_UNUSED(SetChannelVolumeLevelScalar(UINT, float, LPCGUID))
        SIM_UNUSED(GetChannelVolumeLevelScalar(UINT, float*))
        SIM_UNUSED(GetVolumeStepInfo(UINT*, UINT*))
        SIM_UNUSED(VolumeStepUp(LPCGUID))
        SIM_UNUSED(VolumeStepDown(LPCGUID))

    private:
        // A platform call: recorded and its next action run, then its own under the service's
        // lock. An endpoint's objects fail once it has gone (an unregistration still works).
        template <class F> HRESULT Use(const char* pszCall, F action)
        {
            const HRESULT hr = m_service.Enter(pszCall);
            m_service.m_cCallsOnReleased += m_cRef == 0;
            if (FAILED(hr))
                return hr;
            std::lock_guard<std::mutex> lock(m_service.m_mutex);
            const bool bGone = m_iEndpoint >= 0 && !Mine().bActive && strncmp(pszCall, "Unregister", 10) != 0;
            const HRESULT hrAction = bGone ? AUDCLNT_E_DEVICE_INVALIDATED : action();
            return FAILED(hrAction) ? hrAction : hr;
        }
        // A new object of a kind for an endpoint, the active one at iItem, or none (-1); -2 stands
        // for arguments that the platform refuses.
        template <class I>
        HRESULT Make(const char* pszCall, const char* pszKind, int iEndpoint, I** ppv, int iItem = -1)
        {
            *ppv = nullptr;
            return Use(pszCall, [&] {
                const std::vector<int> active = Active();
                if (iItem >= 0)
                    iEndpoint = iItem < static_cast<int>(active.size()) ? active[iItem] : -2;
                return iEndpoint < -1 ? E_INVALIDARG : (*ppv = new CObject(m_service, pszKind, iEndpoint), S_OK);
            });
        }
        // A volume callback's registration holds a reference; a client's does not.
        HRESULT Register(const char* pszCall, IUnknown* pListener)
        {
            return Use(pszCall, [&] {
                if (m_iEndpoint >= 0)
                    pListener->AddRef();
                return m_service.m_registrations.push_back(Registration(pListener, m_iEndpoint)), S_OK;
            });
        }
        // Waits while the listener is being told on another thread (inside the delivery the
        // platform would deadlock; the service goes on), then drops the reference outside the lock.
        HRESULT Unregister(const char* pszCall, IUnknown* pListener)
        {
            const HRESULT hr = Use(pszCall, [&] {
                std::vector<Registration>& registrations = m_service.m_registrations;
                auto it = std::find(registrations.begin(), registrations.end(), Registration(pListener, m_iEndpoint));
                return it == registrations.end() ? E_INVALIDARG : (registrations.erase(it), S_OK);
            });
            if (FAILED(hr))
                return hr;
            std::unique_lock<std::mutex> lock(m_service.m_mutex);
            if (m_service.m_bUnregisterWaits && GetCurrentThreadId() != m_service.m_dwNotificationThread)
                m_service.m_cv.wait(lock, [&] { return m_service.m_pTelling != pListener; });
            lock.unlock();
            if (m_iEndpoint >= 0)
                pListener->Release();
            return hr;
        }
        // Under the lock.
        std::vector<int> Active()
        {
            std::vector<int> active;
            for (int i = 0; i < static_cast<int>(m_service.m_endpoints.size()); ++i) {
                if (m_service.m_endpoints[i].bActive)
                    active.push_back(i);
            }
            return active;
        }
        SimEndpoint& Mine() { return m_service.m_endpoints[m_iEndpoint]; }

        CSimAudioService& m_service;
        const char* const m_pszKind;
        const int m_iEndpoint;
        LONG m_cRef = 1;
    };

    // A listener and its endpoint (-1 for a client); a notice tells the listeners of an endpoint.
    typedef std::pair<IUnknown*, int> Registration;
    typedef std::pair<int, std::function<void(IUnknown*)>> Notice;

    static std::wstring Id(int iEndpoint) { return L"{0.0.0.00000000}.{sim-" + std::to_wstring(iEndpoint) + L"}"; }
    // A copy from the task allocator, as the platform hands strings out.
    static LPWSTR TaskText(const std::wstring& strText)
    {
        const size_t cb = (strText.size() + 1) * sizeof(wchar_t);
        void* pv = CoTaskMemAlloc(cb);
        return static_cast<LPWSTR>(pv ? memcpy(pv, strText.c_str(), cb) : nullptr);
    }
    template <class F> auto Locked(F action) -> decltype(action())
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return action();
    }
    HRESULT Enter(const char* pszCall)
    {
        std::function<HRESULT()> next;
        Locked([&] {
            SimCall& call = m_calls[pszCall];
            ++call.cCalls;
            call.dwThread = GetCurrentThreadId();
            next.swap(call.next);
        });
        return next ? next() : S_OK;
    }
    // Under the lock. Levels out of range are refused, as the platform does.
    HRESULT Change(int iEndpoint, float fScalar, bool bMuted, LPCGUID pguidContext)
    {
        if (!(fScalar >= 0.0f && fScalar <= 1.0f))
            return E_INVALIDARG;
        SimEndpoint& endpoint = m_endpoints[iEndpoint];
        endpoint.fScalar = fScalar;
        endpoint.bMuted = bMuted;
        endpoint.guidLastContext = pguidContext ? *pguidContext : GUID_NULL;
        // The one channel stays at full volume: the master level is another figure.
        const AUDIO_VOLUME_NOTIFICATION_DATA data = {endpoint.guidLastContext, bMuted, fScalar, 1, {1.0f}};
        Post(iEndpoint, [data](IUnknown* pListener) {
            AUDIO_VOLUME_NOTIFICATION_DATA copy = data;
            static_cast<IAudioEndpointVolumeCallback*>(pListener)->OnNotify(&copy);
        });
        return S_OK;
    }
    // Under the lock.
    void Post(int iEndpoint, std::function<void(IUnknown*)> tell)
    {
        m_queue.emplace_back(iEndpoint, std::move(tell));
        m_cv.notify_all();
    }
    // Each listener is told if it is still registered when its turn comes (Unregister waits
    // while it is being told, so it lives until then).
    void Run()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        m_dwNotificationThread = GetCurrentThreadId();
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_cv.wait(lock, [&] { return m_bStop || !m_queue.empty(); }), !m_bStop) {
            const Notice notice = m_queue.front();
            for (const Registration& registration : std::vector<Registration>(m_registrations)) {
                if (registration.second != notice.first ||
                    std::find(m_registrations.begin(), m_registrations.end(), registration) == m_registrations.end())
                    continue;
                m_pTelling = registration.first;
                lock.unlock();
                notice.second(registration.first);
                lock.lock();
                m_pTelling = nullptr;
                m_cv.notify_all();
            }
            m_queue.pop_front();
            m_cv.notify_all();
        }
        lock.unlock();
        CoUninitialize();
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<SimEndpoint> m_endpoints;
    std::atomic<int> m_iDefault{0};
    std::vector<Registration> m_registrations;
    std::map<std::string, SimCall> m_calls;
    std::map<std::string, int> m_live;
    std::vector<CObject*> m_released;
    std::atomic<int> m_cCallsOnReleased{0};
    std::deque<Notice> m_queue;
    IUnknown* m_pTelling = nullptr;
    std::atomic<bool> m_bUnregisterWaits{true};
    bool m_bStop = false;
    std::atomic<DWORD> m_dwNotificationThread{0};
    std::thread m_thread;
};
