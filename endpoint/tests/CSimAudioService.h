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

// The device key property and the name property, as the platform defines them.
const PROPERTYKEY kSimKey = {{0x233164C8, 0x1B2C, 0x4C7D, {0xBC, 0x68, 0xB6, 0x71, 0x68, 0x7A, 0x25, 0x67}}, 1};
const PROPERTYKEY kSimKeyName = {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

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
};

// A method of the platform's interfaces: recorded, its hook run, then action (an HRESULT) under
// the service's lock (see Use); or four that the library never calls.
#define SIM_CALL(method, action)                                                                                       \
    STDMETHODIMP method override                                                                                       \
    {                                                                                                                  \
        return Use(__func__, [&] { return action; });                                                                  \
    }
#define SIM_UNUSED1(method)                                                                                            \
    STDMETHODIMP method override                                                                                       \
    {                                                                                                                  \
        return E_NOTIMPL;                                                                                              \
    }
#define SIM_UNUSED(a, b, c, d) SIM_UNUSED1(a) SIM_UNUSED1(b) SIM_UNUSED1(c) SIM_UNUSED1(d)

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
        m_dwRegister = RegisterOnThisThread();
        m_thread = std::thread(&CSimAudioService::Run, this);
    }
    ~CSimAudioService()
    {
        Lock(), m_bStop = true;
        m_cv.notify_all();
        m_thread.join();
        for (CObject* pObject : m_released)
            delete pObject;
        // The creating thread's apartment may outlive the service (a host entered COM first).
        CoRevokeClassObject(m_dwRegister);
        CoUninitialize();
    }

    // Endpoint 0 is the default one until SetDefault.
    int AddEndpoint(const wchar_t* pszKey, const wchar_t* pszName = L"Speakers")
    {
        const auto lock = Lock();
        m_endpoints.push_back(SimEndpoint{pszKey ? pszKey : L"", !pszKey, pszName, 0.5f, false, GUID_NULL});
        m_active.push_back(static_cast<int>(m_endpoints.size()) - 1);
        return m_active.back();
    }
    // The next call of that name runs action first, outside the service's lock, and fails with
    // its result (a success code lets the call go on and is returned).
    void OnNext(const char* pszCall, std::function<HRESULT()> action) { Lock(), m_calls[pszCall].next = action; }
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
        Lock(), Change(iEndpoint, fScalar, bMuted, &guidEventContext);
    }
    // The platform tells clients of a new default for each role.
    void SetDefault(int iEndpoint)
    {
        const auto lock = Lock();
        m_iDefault = iEndpoint;
        Post(-1, [iEndpoint](IUnknown* pClient) {
            for (ERole role : {eConsole, eMultimedia, eCommunications})
                Client(pClient)->OnDefaultDeviceChanged(eRender, role, Id(iEndpoint).c_str());
        });
    }
    // Clients hear only that its state changed, as the platform may tell that before it names a
    // new default; a removed default gives way to endpoint 0.
    void RemoveEndpoint(int iEndpoint)
    {
        const auto lock = Lock();
        m_active.erase(std::remove(m_active.begin(), m_active.end(), iEndpoint), m_active.end());
        m_iDefault = m_iDefault == iEndpoint ? 0 : m_iDefault;
        Post(-1, [iEndpoint](IUnknown* pClient) {
            Client(pClient)->OnDeviceStateChanged(Id(iEndpoint).c_str(), DEVICE_STATE_NOTPRESENT);
        });
    }
    // Whether every change made so far was told within dwMs.
    bool Flush(DWORD dwMs = 10000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(dwMs), [&] { return m_queue.empty(); });
    }

    SimEndpoint Endpoint(int iEndpoint) { return Lock(), m_endpoints[iEndpoint]; }
    SimCall Call(const char* pszCall) { return Lock(), m_calls[pszCall]; }
    // The endpoints of the registered volume callbacks, and -1 for each client, in ascending order.
    std::vector<int> Registrations()
    {
        const auto lock = Lock();
        std::vector<int> endpoints;
        for (const Registration& registration : m_registrations)
            endpoints.push_back(registration.second);
        std::sort(endpoints.begin(), endpoints.end());
        return endpoints;
    }
    // The service's objects that are not released for good (its class object aside), and the calls
    // that reached one that is.
    int Live() { return m_cLive; }
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
        const HRESULT hr = pOuter || riid != __uuidof(IMMDeviceEnumerator) ? E_INVALIDARG : Enter(__func__);
        if (SUCCEEDED(hr))
            *ppv = static_cast<IMMDeviceEnumerator*>(new CObject(*this, -1));
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    // An object for one endpoint, or for none (-1: the enumerator, a collection, a property value).
    class CObject final : public IMMDeviceEnumerator,
                          public IMMDeviceCollection,
                          public IMMDevice,
                          public IPropertyStore,
                          public IAudioEndpointVolume
    {
    public:
        CObject(CSimAudioService& service, int iEndpoint) : m_service(service), m_iEndpoint(iEndpoint)
        {
            ++m_service.m_cLive;
        }

        // The library asks them for no interface.
        STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = nullptr, E_NOINTERFACE; }
        STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
        STDMETHODIMP_(ULONG) Release() override
        {
            const LONG cRef = InterlockedDecrement(&m_cRef);
            if (cRef == 0)
                (void)Use(__func__, [&] { return --m_service.m_cLive, m_service.m_released.push_back(this), S_OK; });
            return cRef;
        }

        SIM_CALL(EnumAudioEndpoints(EDataFlow flow, DWORD dwMask, IMMDeviceCollection** ppDevices),
                 New(flow == eRender && dwMask == DEVICE_STATE_ACTIVE ? -1 : -2, ppDevices))
        SIM_CALL(GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** ppDevice),
                 New(flow == eRender && role == eConsole ? m_service.m_iDefault : -2, ppDevice))
        SIM_CALL(GetCount(UINT* pcDevices), (*pcDevices = static_cast<UINT>(m_service.m_active.size()), S_OK))
        SIM_CALL(Item(UINT iDevice, IMMDevice** ppDevice),
                 New(iDevice < m_service.m_active.size() ? m_service.m_active[iDevice] : -2, ppDevice))
        SIM_CALL(Activate(REFIID riid, DWORD, PROPVARIANT*, void** ppv),
                 New(riid == __uuidof(IAudioEndpointVolume) ? m_iEndpoint : -2,
                     reinterpret_cast<IAudioEndpointVolume**>(ppv)))
        SIM_CALL(OpenPropertyStore(DWORD, IPropertyStore** ppStore), New(m_iEndpoint, ppStore))
        SIM_CALL(GetValue(REFPROPERTYKEY key, PROPVARIANT* pValue), Value(key, pValue))
        SIM_CALL(RegisterEndpointNotificationCallback(IMMNotificationClient* pClient), Register(pClient))
        SIM_CALL(RegisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify), Register(pNotify))
        SIM_CALL(SetMasterVolumeLevel(float fDb, LPCGUID pguid),
                 m_service.Change(m_iEndpoint, 1 - fDb / kfSimMinDb, Mine().bMuted, pguid))
        SIM_CALL(SetMasterVolumeLevelScalar(float fLevel, LPCGUID pguid),
                 m_service.Change(m_iEndpoint, fLevel, Mine().bMuted, pguid))
        SIM_CALL(SetMute(BOOL bMute, LPCGUID pguid),
                 m_service.Change(m_iEndpoint, Mine().fScalar, bMute != FALSE, pguid))
        SIM_CALL(GetMasterVolumeLevel(float* pfDb), (*pfDb = kfSimMinDb * (1 - Mine().fScalar), S_OK))
        SIM_CALL(GetMasterVolumeLevelScalar(float* pfLevel), (*pfLevel = Mine().fScalar, S_OK))
        SIM_CALL(GetMute(BOOL* pbMuted), (*pbMuted = Mine().bMuted, S_OK))
        STDMETHODIMP UnregisterEndpointNotificationCallback(IMMNotificationClient* pClient) override
        {
            return Unregister(__func__, pClient);
        }
        STDMETHODIMP UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* pNotify) override
        {
            return Unregister(__func__, pNotify);
        }
        STDMETHODIMP GetId(LPWSTR* ppwszId) override { return *ppwszId = TaskText(Id(m_iEndpoint)), S_OK; }

        SIM_UNUSED(GetDevice(LPCWSTR, IMMDevice**), GetState(DWORD*), GetCount(DWORD*), GetAt(DWORD, PROPERTYKEY*))
        SIM_UNUSED(Commit(), SetValue(REFPROPERTYKEY, REFPROPVARIANT), GetChannelCount(UINT*),
                   QueryHardwareSupport(DWORD*))
        SIM_UNUSED(GetVolumeRange(float*, float*, float*), SetChannelVolumeLevel(UINT, float, LPCGUID),
                   GetChannelVolumeLevel(UINT, float*), SetChannelVolumeLevelScalar(UINT, float, LPCGUID))
        SIM_UNUSED(GetChannelVolumeLevelScalar(UINT, float*), GetVolumeStepInfo(UINT*, UINT*), VolumeStepUp(LPCGUID),
                   VolumeStepDown(LPCGUID))

    private:
        // A platform call: recorded and its hook run, then its own action under the service's
        // lock. An endpoint's objects fail once it has gone (an unregistration still works).
        template <class F> HRESULT Use(const char* pszCall, F action)
        {
            const bool bRelease = strcmp(pszCall, "Release") == 0;
            const HRESULT hr = m_service.Enter(pszCall);
            m_service.m_cCallsOnReleased += m_cRef == 0 && !bRelease;
            if (FAILED(hr))
                return hr;
            std::lock_guard<std::mutex> lock(m_service.m_mutex);
            const bool bGone = m_iEndpoint >= 0 && !bRelease && strncmp(pszCall, "Unreg", 5) != 0 &&
                               !std::count(m_service.m_active.begin(), m_service.m_active.end(), m_iEndpoint);
            const HRESULT hrAction = bGone ? AUDCLNT_E_DEVICE_INVALIDATED : action();
            return FAILED(hrAction) ? hrAction : hr;
        }
        // An object for an endpoint, or for none (-1); -2 stands for arguments the platform refuses.
        template <class I> HRESULT New(int iEndpoint, I** ppv)
        {
            *ppv = iEndpoint >= -1 ? new CObject(m_service, iEndpoint) : nullptr;
            return *ppv ? S_OK : E_INVALIDARG;
        }
        // The device key, and the friendly name; a key without text is an object, which
        // PropVariantClear releases, so that a value left uncleared shows as a live object.
        HRESULT Value(REFPROPERTYKEY key, PROPVARIANT* pValue)
        {
            PropVariantInit(pValue);
            if (key == kSimKey && Mine().bNoKey) {
                pValue->vt = VT_UNKNOWN;
                pValue->punkVal = static_cast<IMMDevice*>(new CObject(m_service, -1));
            } else if (key == kSimKey || key == kSimKeyName) {
                pValue->vt = VT_LPWSTR;
                pValue->pwszVal = TaskText(key == kSimKey ? Mine().strKey : Mine().strName);
            }
            return S_OK;
        }
        // A volume callback's registration holds a reference; a client's does not.
        HRESULT Register(IUnknown* pListener)
        {
            if (m_iEndpoint >= 0)
                pListener->AddRef();
            return m_service.m_registrations.push_back(Registration(pListener, m_iEndpoint)), S_OK;
        }
        // Then waits for a delivery under way on another thread (inside a delivery the platform
        // would deadlock; the service goes on), and drops the reference outside the lock.
        HRESULT Unregister(const char* pszCall, IUnknown* pListener)
        {
            std::vector<Registration>& registrations = m_service.m_registrations;
            const HRESULT hr = Use(pszCall, [&] {
                auto it = std::find(registrations.begin(), registrations.end(), Registration(pListener, m_iEndpoint));
                return it == registrations.end() ? E_INVALIDARG : (registrations.erase(it), S_OK);
            });
            if (m_service.m_bUnregisterWaits && GetCurrentThreadId() != m_service.m_dwNotificationThread)
                std::lock_guard<std::mutex>{m_service.m_mutexTelling};
            if (SUCCEEDED(hr) && m_iEndpoint >= 0)
                pListener->Release();
            return hr;
        }
        SimEndpoint& Mine() { return m_service.m_endpoints[m_iEndpoint]; }

        CSimAudioService& m_service;
        const int m_iEndpoint;
        LONG m_cRef = 1;
    };

    // A listener and its endpoint (-1 for a client); a notice tells the listeners of an endpoint.
    typedef std::pair<IUnknown*, int> Registration;
    typedef std::pair<int, std::function<void(IUnknown*)>> Notice;

    static IMMNotificationClient* Client(IUnknown* pListener) { return static_cast<IMMNotificationClient*>(pListener); }
    static std::wstring Id(int iEndpoint) { return L"{0.0.0.00000000}.{sim-" + std::to_wstring(iEndpoint) + L"}"; }
    // A copy from the task allocator, as the platform hands strings out.
    static LPWSTR TaskText(const std::wstring& strText)
    {
        const size_t cb = (strText.size() + 1) * sizeof(wchar_t);
        void* pv = CoTaskMemAlloc(cb);
        return static_cast<LPWSTR>(pv ? memcpy(pv, strText.c_str(), cb) : nullptr);
    }
    // The service's lock, to the end of the statement (or of the scope it is kept in).
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }
    HRESULT Enter(const char* pszCall)
    {
        auto lock = Lock();
        SimCall& call = m_calls[pszCall];
        const std::function<HRESULT()> next = call.next;
        call = SimCall{call.cCalls + 1, GetCurrentThreadId(), nullptr};
        lock.unlock();
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
        AUDIO_VOLUME_NOTIFICATION_DATA data = {endpoint.guidLastContext, bMuted, fScalar, 1, {1.0f}};
        Post(iEndpoint, [data](IUnknown* pCallback) mutable {
            static_cast<IAudioEndpointVolumeCallback*>(pCallback)->OnNotify(&data);
        });
        return S_OK;
    }
    // Under the lock.
    void Post(int iEndpoint, std::function<void(IUnknown*)> tell)
    {
        m_queue.emplace_back(iEndpoint, std::move(tell));
        m_cv.notify_all();
    }
    // Each listener is told if it is still registered when its turn comes (an unregistration
    // waits until it has been told, so it lives until then).
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
                std::lock_guard<std::mutex> telling(m_mutexTelling);
                lock.unlock();
                notice.second(registration.first);
                lock.lock();
            }
            m_queue.erase(m_queue.begin());
            m_cv.notify_all();
        }
        lock.unlock();
        CoUninitialize();
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<SimEndpoint> m_endpoints;
    std::vector<int> m_active; // in the order listed
    int m_iDefault = 0;
    std::vector<Registration> m_registrations;
    std::map<std::string, SimCall> m_calls;
    std::vector<CObject*> m_released;
    std::atomic<int> m_cLive{0};
    std::atomic<int> m_cCallsOnReleased{0};
    std::vector<Notice> m_queue;
    std::mutex m_mutexTelling; // held while a listener is told
    std::atomic<bool> m_bUnregisterWaits{true};
    bool m_bStop = false;
    std::atomic<DWORD> m_dwNotificationThread{0};
    DWORD m_dwRegister;
    std::thread m_thread;
};
