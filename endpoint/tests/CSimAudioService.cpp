#include "CSimAudioService.h"

#include "SimComObjects.h"

namespace {

const PROPERTYKEY kKeyDeviceName =
    {{0x233164C8, 0x1B2C, 0x4C7D, {0xBC, 0x68, 0xB6, 0x71, 0x68, 0x7A, 0x25, 0x67}}, 1};
const PROPERTYKEY kKeyFriendlyName =
    {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

// Levels in dB map linearly onto scalar levels.
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

}

CSimAudioService::CSimAudioService()
    : m_forced(), m_cCalls(), m_cLive(), m_guidLastContext(), m_cQueued(0), m_cDelivered(0),
      m_cFloodDelivered(0), m_bFlood(false), m_iFloodNext(0), m_bStop(false),
      m_pFactory(CreateSimClassFactory(*this)), m_dwRegister(0)
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
    m_pFactory->Release();
    for (Endpoint& endpoint : m_endpoints) {
        for (IAudioEndpointVolumeCallback* pCallback : endpoint.callbacks)
            pCallback->Release();
    }
    CoUninitialize();
}

int CSimAudioService::AddEndpoint(const std::wstring& strKey, const std::wstring& strFriendlyName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return AddEndpointLocked(strKey, true, strFriendlyName);
}

int CSimAudioService::AddEndpointWithoutKey()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return AddEndpointLocked(L"", false, L"Speakers");
}

int CSimAudioService::AddEndpointLocked(const std::wstring& strKey, bool bKeyIsText,
                                        const std::wstring& strFriendlyName)
{
    m_endpoints.push_back(Endpoint{strKey, bKeyIsText, strFriendlyName, 0.5f, DbOf(0.5f), false, {}});
    return static_cast<int>(m_endpoints.size()) - 1;
}

DWORD CSimAudioService::RegisterOnThisThread()
{
    DWORD dwRegister = 0;
    CoRegisterClassObject(__uuidof(MMDeviceEnumerator), m_pFactory, CLSCTX_INPROC_SERVER,
                          REGCLS_MULTIPLEUSE, &dwRegister);
    return dwRegister;
}

void CSimAudioService::RevokeFromThisThread(DWORD dwRegister)
{
    CoRevokeClassObject(dwRegister);
}

void CSimAudioService::SetLevel(int iEndpoint, float fScalar)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endpoints[iEndpoint].fScalar = fScalar;
    m_endpoints[iEndpoint].fDb = DbOf(fScalar);
}

void CSimAudioService::Force(eSimCall call, HRESULT hr, int cCalls)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_forced[call] = Forced{hr, cCalls};
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
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bFlood = bOn;
    }
    m_cvWork.notify_all();
}

void CSimAudioService::Flush()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    long long cQueued = m_cQueued;
    m_cvDelivered.wait(lock, [&] { return m_cDelivered >= cQueued; });
}

float CSimAudioService::Level(int iEndpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_endpoints[iEndpoint].fScalar;
}

float CSimAudioService::LevelDb(int iEndpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_endpoints[iEndpoint].fDb;
}

bool CSimAudioService::Muted(int iEndpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_endpoints[iEndpoint].bMuted;
}

int CSimAudioService::Registrations(int iEndpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_endpoints[iEndpoint].callbacks.size());
}

int CSimAudioService::Live(eSimObject kind)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cLive[kind];
}

int CSimAudioService::LiveTotal()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int cLive = 0;
    for (int c : m_cLive)
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

long long CSimAudioService::FloodDelivered()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cFloodDelivered;
}

IAudioEndpointVolumeCallback* CSimAudioService::LastCallback(int iEndpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::vector<IAudioEndpointVolumeCallback*>& callbacks = m_endpoints[iEndpoint].callbacks;
    if (callbacks.empty())
        return nullptr;
    callbacks.back()->AddRef();
    return callbacks.back();
}

HRESULT CSimAudioService::Enter(eSimCall call)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_cCalls[call];
    Forced& forced = m_forced[call];
    if (forced.cCalls == 0)
        return S_OK;
    --forced.cCalls;
    return forced.hr;
}

void CSimAudioService::CountObject(eSimObject kind, int nDelta)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cLive[kind] += nDelta;
}

int CSimAudioService::EndpointCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_endpoints.size());
}

HRESULT CSimAudioService::ReadProperty(int iEndpoint, const PROPERTYKEY& key, PROPVARIANT* pValue)
{
    PropVariantInit(pValue);
    HRESULT hr = Enter(eSimGetValue);
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> lock(m_mutex);
    const Endpoint& endpoint = m_endpoints[iEndpoint];
    if (key == kKeyDeviceName && endpoint.bKeyIsText)
        return TextValue(endpoint.strKey, pValue);
    if (key == kKeyFriendlyName)
        return TextValue(endpoint.strFriendlyName, pValue);
    return hr;
}

HRESULT CSimAudioService::GetVolume(int iEndpoint, eSimCall call, float* pfLevel, BOOL* pbMuted)
{
    HRESULT hr = Enter(call);
    if (FAILED(hr))
        return hr;
    if (!pfLevel && !pbMuted)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    const Endpoint& endpoint = m_endpoints[iEndpoint];
    if (call == eSimGetMute)
        *pbMuted = endpoint.bMuted ? TRUE : FALSE;
    else if (call == eSimGetScalar)
        *pfLevel = endpoint.fScalar;
    else
        *pfLevel = endpoint.fDb;
    return hr;
}

HRESULT CSimAudioService::SetVolume(int iEndpoint, eSimCall call, float fLevel, BOOL bMuted, LPCGUID pguidContext)
{
    HRESULT hr = Enter(call);
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> lock(m_mutex);
    Endpoint& endpoint = m_endpoints[iEndpoint];
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

HRESULT CSimAudioService::Register(int iEndpoint, IAudioEndpointVolumeCallback* pCallback)
{
    HRESULT hr = Enter(eSimRegister);
    if (FAILED(hr))
        return hr;
    if (!pCallback)
        return E_POINTER;
    pCallback->AddRef();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endpoints[iEndpoint].callbacks.push_back(pCallback);
    return hr;
}

HRESULT CSimAudioService::Unregister(int iEndpoint, IAudioEndpointVolumeCallback* pCallback)
{
    HRESULT hr = Enter(eSimUnregister);
    if (FAILED(hr))
        return hr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<IAudioEndpointVolumeCallback*>& callbacks = m_endpoints[iEndpoint].callbacks;
        auto it = std::find(callbacks.begin(), callbacks.end(), pCallback);
        if (it == callbacks.end())
            return E_INVALIDARG;
        callbacks.erase(it);
    }
    pCallback->Release();
    return hr;
}

void CSimAudioService::QueueLocked(int iEndpoint, const GUID& guidEventContext)
{
    const Endpoint& endpoint = m_endpoints[iEndpoint];
    m_queue.push_back(Notification{iEndpoint, guidEventContext, endpoint.fScalar, endpoint.bMuted});
    ++m_cQueued;
    m_cvWork.notify_all();
}

// Queued changes first; while flooding, a change by another program on each endpoint in turn.
bool CSimAudioService::NextNotificationLocked(Notification& notification, bool& bFlooded)
{
    bFlooded = m_queue.empty();
    if (!bFlooded) {
        notification = m_queue.front();
        m_queue.pop_front();
        return true;
    }
    if (!m_bFlood || m_endpoints.empty())
        return false;
    int iEndpoint = m_iFloodNext++ % static_cast<int>(m_endpoints.size());
    const Endpoint& endpoint = m_endpoints[iEndpoint];
    notification = Notification{iEndpoint, GUID_NULL, endpoint.fScalar, endpoint.bMuted};
    return true;
}

void CSimAudioService::RunNotifications()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        Notification notification;
        bool bFlooded = false;
        m_cvWork.wait(lock, [&] { return m_bStop || NextNotificationLocked(notification, bFlooded); });
        if (m_bStop)
            return;

        AUDIO_VOLUME_NOTIFICATION_DATA data = {notification.guidEventContext, notification.bMuted ? TRUE : FALSE,
                                               notification.fScalar, 1, {notification.fScalar}};
        // Callbacks may unregister, and so be released, from inside their own delivery.
        std::vector<IAudioEndpointVolumeCallback*> callbacks = m_endpoints[notification.iEndpoint].callbacks;
        for (IAudioEndpointVolumeCallback* pCallback : callbacks)
            pCallback->AddRef();
        lock.unlock();
        for (IAudioEndpointVolumeCallback* pCallback : callbacks) {
            pCallback->OnNotify(&data);
            pCallback->Release();
        }
        lock.lock();
        if (bFlooded)
            m_cFloodDelivered += static_cast<long long>(callbacks.size());
        else
            ++m_cDelivered;
        m_cvDelivered.notify_all();
    }
}
