#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include <atomic>
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

// Kinds of the service's COM objects, counted while they live; eSimAnyObject stands for all.
enum eSimObject { eSimEnumerator, eSimCollection, eSimDevice, eSimPropertyStore, eSimVolume, eSimAnyObject };

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
    std::vector<IAudioEndpointVolumeCallback*> callbacks;
};

// A simulated audio service for one test: the class object for CLSID_MMDeviceEnumerator
// (registered on the constructing thread), named render endpoints with level and mute, and a
// notification thread of its own that tells registered callbacks of every change with the
// changer's event context.
class CSimAudioService : public IClassFactory
{
public:
    CSimAudioService();
    ~CSimAudioService();
    CSimAudioService(const CSimAudioService&) = delete;
    CSimAudioService& operator=(const CSimAudioService&) = delete;

    // Adds an active render endpoint and returns its index; endpoint 0 is the default one. A
    // null key gives an endpoint whose match key holds no string.
    int AddEndpoint(const wchar_t* pszKey, const wchar_t* pszFriendlyName = L"Speakers");
    // The next cCalls calls of a kind return hr (a success code still performs the call).
    void Force(eSimCall call, HRESULT hr, int cCalls = INT_MAX);
    // CoCreateInstance looks up registered class objects in the caller's apartment only, so
    // each thread that opens endpoints registers the service too (its COM initialised).
    DWORD RegisterOnThisThread();
    void RevokeFromThisThread(DWORD dwRegister);
    // Another program changes the endpoint.
    void ChangeAsOther(int iEndpoint, float fScalar, bool bMuted, const GUID& guidEventContext);
    // While on, the notification thread reports changes by another program to every
    // registered callback of each endpoint in turn, over and over.
    void Flood(bool bOn);
    // Returns once every change queued so far has been delivered.
    void Flush();

    SimEndpoint Endpoint(int iEndpoint);
    int EndpointCount();
    // Live COM objects of one kind, or of all kinds (the class object is not counted).
    int Live(eSimObject kind = eSimAnyObject);
    int Calls(eSimCall call);
    GUID LastEventContext();

    // Used by the service's COM objects.
    HRESULT Enter(eSimCall call);
    void CountObject(eSimObject kind, int nDelta) { m_cLive[kind] += nDelta; }
    HRESULT GetVolume(int iEndpoint, eSimCall call, float* pfLevel, BOOL* pbMuted);
    HRESULT SetVolume(int iEndpoint, eSimCall call, float fLevel, BOOL bMuted, LPCGUID pguidContext);
    HRESULT Register(int iEndpoint, IAudioEndpointVolumeCallback* pCallback, bool bRegister);

    // IClassFactory; the service outlives its registrations, so it is not reference counted.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    struct Notification
    {
        int iEndpoint;
        GUID guidEventContext;
        float fScalar;
        bool bMuted;
    };

    void QueueLocked(int iEndpoint, const GUID& guidEventContext);
    bool NextLocked(Notification& notification);
    void RunNotifications();

    std::mutex m_mutex;
    std::condition_variable m_cvWork;
    std::condition_variable m_cvDelivered;
    std::vector<SimEndpoint> m_endpoints;
    HRESULT m_hrForced[eSimCallCount] = {};
    int m_cForced[eSimCallCount] = {};
    int m_cCalls[eSimCallCount] = {};
    std::atomic<int> m_cLive[eSimAnyObject] = {};
    GUID m_guidLastContext = GUID_NULL;
    std::deque<Notification> m_queue;
    bool m_bDelivering = false;
    bool m_bFlood = false;
    int m_iFloodNext = 0;
    bool m_bStop = false;
    DWORD m_dwRegister = 0;
    std::thread m_thread;
};
