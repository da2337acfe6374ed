#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Platform calls that the service can be told to answer with a given HRESULT.
enum eSimCall
{
    eSimCreateEnumerator, eSimEnumEndpoints, eSimGetCount, eSimItem, eSimOpenPropertyStore,
    eSimGetValue, eSimGetDefault, eSimActivate, eSimRegister, eSimUnregister,
    eSimGetMute, eSimSetMute, eSimGetLevel, eSimSetLevel, eSimGetScalar, eSimSetScalar,
    eSimCallCount
};

// Kinds of the service's COM objects, counted while they live.
enum eSimObject
{
    eSimEnumerator, eSimCollection, eSimDevice, eSimPropertyStore, eSimVolume, eSimObjectCount
};

// The endpoints' range in dB; a scalar level maps linearly onto it.
const float kfSimMinDb = -60.0f;
const float kfSimMaxDb = 0.0f;

// A simulated audio service for one test: an in-process device enumerator registered for
// CLSID_MMDeviceEnumerator on the constructing thread, named render endpoints with a volume
// and mute state, and a notification thread of its own that tells registered callbacks of
// every change with the changer's event context. Not copyable.
class CSimAudioService
{
public:
    CSimAudioService();
    ~CSimAudioService();

    // Adds an active render endpoint whose device key is the text and returns its index;
    // endpoint 0 is the default one.
    int AddEndpoint(const std::wstring& strKey, const std::wstring& strFriendlyName = L"Speakers");
    // An endpoint whose device key holds no text.
    int AddEndpointWithoutKey();
    // Sets a level without telling anybody, as the starting state of a test.
    void SetLevel(int iEndpoint, float fScalar);
    // The next cCalls calls of a kind return hr (a success code still performs the call).
    void Force(eSimCall call, HRESULT hr, int cCalls = INT_MAX);
    // Makes the service's enumerator what CoCreateInstance creates on the calling thread
    // too: the runtime looks up a registered class object in the caller's apartment only.
    // The thread's COM must be initialised; the result is for RevokeFromThisThread.
    DWORD RegisterOnThisThread();
    void RevokeFromThisThread(DWORD dwRegister);

    // Another program changes the endpoint.
    void ChangeAsOther(int iEndpoint, float fScalar, bool bMuted, const GUID& guidEventContext);
    // While on, the notification thread reports a change by another program to every
    // registered callback, over and over.
    void Flood(bool bOn);
    // Returns once every notification queued so far has been delivered.
    void Flush();

    float Level(int iEndpoint);
    float LevelDb(int iEndpoint);
    bool Muted(int iEndpoint);
    int Registrations(int iEndpoint);
    int Live(eSimObject kind);
    int LiveTotal();
    int Calls(eSimCall call);
    GUID LastEventContext();
    long long FloodDelivered();
    // The callback most recently registered on the endpoint, with a reference for the caller.
    IAudioEndpointVolumeCallback* LastCallback(int iEndpoint);

    // Used by the service's COM objects.
    HRESULT Enter(eSimCall call);
    void CountObject(eSimObject kind, int nDelta);
    int EndpointCount();
    HRESULT ReadProperty(int iEndpoint, const PROPERTYKEY& key, PROPVARIANT* pValue);
    HRESULT GetVolume(int iEndpoint, eSimCall call, float* pfLevel, BOOL* pbMuted);
    HRESULT SetVolume(int iEndpoint, eSimCall call, float fLevel, BOOL bMuted, LPCGUID pguidContext);
    HRESULT Register(int iEndpoint, IAudioEndpointVolumeCallback* pCallback);
    HRESULT Unregister(int iEndpoint, IAudioEndpointVolumeCallback* pCallback);

private:
    struct Endpoint
    {
        std::wstring strKey;
        bool bKeyIsText;
        std::wstring strFriendlyName;
        float fScalar;
        float fDb;
        bool bMuted;
        std::vector<IAudioEndpointVolumeCallback*> callbacks;
    };
    struct Notification
    {
        int iEndpoint;
        GUID guidEventContext;
        float fScalar;
        bool bMuted;
    };
    struct Forced
    {
        HRESULT hr;
        int cCalls;
    };

    CSimAudioService(const CSimAudioService&) = delete;
    CSimAudioService& operator=(const CSimAudioService&) = delete;

    int AddEndpointLocked(const std::wstring& strKey, bool bKeyIsText, const std::wstring& strFriendlyName);
    void QueueLocked(int iEndpoint, const GUID& guidEventContext);
    void RunNotifications();
    bool NextNotificationLocked(Notification& notification, bool& bFlooded);

    std::mutex m_mutex;
    std::condition_variable m_cvWork;
    std::condition_variable m_cvDelivered;
    std::vector<Endpoint> m_endpoints;
    Forced m_forced[eSimCallCount];
    int m_cCalls[eSimCallCount];
    int m_cLive[eSimObjectCount];
    GUID m_guidLastContext;
    std::deque<Notification> m_queue;
    long long m_cQueued;
    long long m_cDelivered;
    long long m_cFloodDelivered;
    bool m_bFlood;
    int m_iFloodNext;
    bool m_bStop;
    IClassFactory* m_pFactory;
    DWORD m_dwRegister;
    std::thread m_thread;
};
