#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Platform calls that the service can be told to answer with a given HRESULT or to slow down,
// and whose threads it records.
enum eSimCall
{
    eSimCreateEnumerator,
    eSimEnumEndpoints,
    eSimGetCount,
    eSimItem,
    eSimOpenPropertyStore,
    eSimGetValue,
    eSimGetDefault,
    eSimActivate,
    eSimRegister,
    eSimUnregister,
    eSimGetMute,
    eSimSetMute,
    eSimGetLevel,
    eSimSetLevel,
    eSimGetScalar,
    eSimSetScalar,
    eSimRegisterClient,
    eSimUnregisterClient,
    eSimCallCount
};

// Kinds of the service's COM objects, counted while they live; eSimAnyObject stands for all.
enum eSimObject
{
    eSimEnumerator,
    eSimCollection,
    eSimDevice,
    eSimPropertyStore,
    eSimVolume,
    eSimAnyObject
};

// An endpoint's range in dB; a scalar level maps linearly onto it.
const float kfSimMinDb = -60.0f;
const float kfSimMaxDb = 0.0f;

struct SimEndpoint
{
    std::wstring strKey;
    bool bKeyIsText;
    std::wstring strFriendlyName;
    float fScalar;
    float fDb;
    bool bMuted;
    GUID guidLastContext;
    std::vector<IAudioEndpointVolumeCallback*> callbacks;
    // False once removed: no longer listed, and its volume controls fail.
    bool bActive;
};

// A simulated audio service for one test: the class object for CLSID_MMDeviceEnumerator
// (registered on the constructing thread), named render endpoints with level and mute, one of
// them the default, and a notification thread of its own that tells registered volume callbacks
// of every change with the changer's event context, and endpoint notification clients of a new
// default or a removed endpoint. It outlives its registrations, so it is not reference counted.
// As the platform, it holds one reference to a volume callback for its registration and none
// for a delivery, and none to a client: Unregister drops it, after waiting for a delivery to it
// in progress on another thread (from inside the delivery the platform would deadlock; the
// service goes on). Its objects are never freed before the service: one released for good only
// counts the calls that still reach it.
class CSimAudioService : public IClassFactory
{
public:
    CSimAudioService();
    ~CSimAudioService();

    // Adds an active render endpoint and returns its index; endpoint 0 is the default one
    // until SetDefault. A null key gives an endpoint whose match key holds no string.
    int AddEndpoint(const wchar_t* pszKey, const wchar_t* pszFriendlyName = L"Speakers");
    // The next call of a kind returns hr (a success code still performs the call).
    void FailNext(eSimCall call, HRESULT hr = E_FAIL)
    {
        Locked([&] { m_hrNext[call] = hr; });
    }
    // CoCreateInstance looks up class objects in the caller's apartment only, so each thread
    // that opens endpoints registers the service too (with its COM initialised).
    DWORD RegisterOnThisThread();
    void RevokeFromThisThread(DWORD dwRegister) { CoRevokeClassObject(dwRegister); }
    // The next call of a kind takes dwMs longer, outside the service's lock.
    void DelayNext(eSimCall call, DWORD dwMs)
    {
        Locked([&] { m_dwDelayNext[call] = dwMs; });
    }
    // From now on Unregister lets go of a callback at once, also while it is being delivered
    // to on the notification thread: only the callback's own reference then keeps it alive.
    void UnregisterWithoutWaiting()
    {
        Locked([&] { m_bUnregisterWaits = false; });
    }
    // Another program changes the endpoint.
    void ChangeAsOther(int iEndpoint, float fScalar, bool bMuted, const GUID& guidEventContext);
    // The user makes another endpoint (or none, -1) the default: clients hear of it for each role.
    void SetDefault(int iEndpoint);
    // The endpoint goes away. Clients hear only that its state changed, as the platform may tell
    // of that before it names a new default; a removed default gives way to the first active one.
    void RemoveEndpoint(int iEndpoint);
    // Returns once every change made so far has been delivered.
    void Flush();

    SimEndpoint Endpoint(int iEndpoint)
    {
        return Locked([&] { return m_endpoints[iEndpoint]; });
    }
    int EndpointCount()
    {
        return Locked([&] { return static_cast<int>(m_endpoints.size()); });
    }
    int Calls(eSimCall call)
    {
        return Locked([&] { return m_cCalls[call]; });
    }
    // Live COM objects of one kind, or of all kinds; the class object is not counted.
    int Live(eSimObject kind = eSimAnyObject);
    // Calls that reached an object after its final release.
    int CallsOnReleased() { return m_cCallsOnReleased; }
    int Clients()
    {
        return Locked([&] { return static_cast<int>(m_clients.size()); });
    }
    // Property strings handed out by any service of the process and not yet freed, or -1
    // when the task allocator cannot be watched.
    static int LiveStrings();
    // The thread of the latest call of a kind, and of the latest final release of an object
    // of a kind (0 before the first).
    DWORD Thread(eSimCall call)
    {
        return Locked([&] { return m_dwThread[call]; });
    }
    DWORD ReleaseThread(eSimObject kind) { return m_dwReleaseThread[kind]; }
    DWORD NotificationThread() const { return m_dwNotificationThread; }
    // Whether the notification thread (in the multithreaded apartment, like a platform worker)
    // found itself out of it after a delivery.
    bool NotificationThreadLostItsApartment() { return m_bApartmentLost; }
    // The longest time one OnNotify or client call has taken so far, in milliseconds.
    DWORD LongestDelivery()
    {
        return Locked([&] { return m_dwLongestDelivery; });
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    class CObject;
    enum eNotice
    {
        eVolumeChanged,
        eDefaultChanged,
        eEndpointRemoved
    };
    struct Notification
    {
        eNotice notice;
        int iEndpoint;
        AUDIO_VOLUME_NOTIFICATION_DATA data;
    };

    template <class F> auto Locked(F action) -> decltype(action())
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return action();
    }
    // Counts a call and records its thread; returns the result it was told to give and the
    // delay it was told to take.
    HRESULT Enter(eSimCall call, DWORD* pdwDelay);
    bool IsRegistered(const Notification& notification, const void* pListener);
    HRESULT ChangeLocked(int iEndpoint, float fScalar, float fDb, bool bMuted, const GUID* pguidContext);
    void Notify(eNotice notice, int iEndpoint);
    void RunNotifications();
    static void Tell(const Notification& notification, void* pListener);
    static std::wstring Id(int iEndpoint);

    std::mutex m_mutex;
    std::condition_variable m_cvChanged;
    std::condition_variable m_cvDelivered;
    std::vector<SimEndpoint> m_endpoints;
    int m_iDefault = 0;
    std::vector<IMMNotificationClient*> m_clients;
    std::vector<CObject*> m_released;
    std::atomic<int> m_cCallsOnReleased{0};
    HRESULT m_hrNext[eSimCallCount] = {};
    DWORD m_dwDelayNext[eSimCallCount] = {};
    int m_cCalls[eSimCallCount] = {};
    DWORD m_dwThread[eSimCallCount] = {};
    std::atomic<int> m_cLive[eSimAnyObject] = {};
    std::atomic<DWORD> m_dwReleaseThread[eSimAnyObject] = {};
    std::deque<Notification> m_queue;
    bool m_bDelivering = false;
    // The callback or client that the notification thread is telling, or about to.
    const void* m_pDeliveringTo = nullptr;
    bool m_bUnregisterWaits = true;
    DWORD m_dwLongestDelivery = 0;
    bool m_bStop = false;
    DWORD m_dwRegister = 0;
    std::thread m_thread;
    std::atomic<DWORD> m_dwNotificationThread{0};
    std::atomic<bool> m_bApartmentLost{false};
};
