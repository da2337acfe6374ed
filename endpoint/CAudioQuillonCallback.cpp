#include "CAudioQuillonCallback.h"

#include "Quillon.h"
#include "Trace.h"

namespace
{

const IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidAudioEndpointVolumeCallback = {
    0x657804FA, 0xD6AD, 0x4496, {0x8A, 0x60, 0x35, 0x27, 0x52, 0xAF, 0x4F, 0x89}};

}

CAudioQuillonCallback::CAudioQuillonCallback() : m_cRef(1), m_pOwner(nullptr), m_guidEventContext()
{
    InitializeCriticalSection(&m_csDelivery);
}

CAudioQuillonCallback::~CAudioQuillonCallback()
{
    DeleteCriticalSection(&m_csDelivery);
}

STDMETHODIMP CAudioQuillonCallback::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualGUID(riid, kIidUnknown) || IsEqualGUID(riid, kIidAudioEndpointVolumeCallback)) {
        AddRef();
        *ppv = static_cast<IAudioEndpointVolumeCallback*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CAudioQuillonCallback::AddRef()
{
    return InterlockedIncrement(&m_cRef);
}

STDMETHODIMP_(ULONG) CAudioQuillonCallback::Release()
{
    LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return cRef;
}

STDMETHODIMP CAudioQuillonCallback::OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA pNotify)
{
    if (!pNotify)
        return E_INVALIDARG;

    // The owner may unregister and drop this object from inside OnVolumeChanged.
    AddRef();
    EnterCriticalSection(&m_csDelivery);
    if (m_pOwner && !IsEqualGUID(pNotify->guidEventContext, m_guidEventContext)) {
        Trace("New master volume: %.03f\n", static_cast<double>(pNotify->fMasterVolume));
        m_pOwner->OnVolumeChanged(pNotify->fMasterVolume, pNotify->bMuted != FALSE, pNotify->guidEventContext);
    }
    LeaveCriticalSection(&m_csDelivery);
    Release();
    return S_OK;
}

void CAudioQuillonCallback::Arm(CQuillon* pOwner, const GUID& guidEventContext)
{
    EnterCriticalSection(&m_csDelivery);
    m_pOwner = pOwner;
    m_guidEventContext = guidEventContext;
    LeaveCriticalSection(&m_csDelivery);
}

void CAudioQuillonCallback::Disarm()
{
    EnterCriticalSection(&m_csDelivery);
    m_pOwner = nullptr;
    LeaveCriticalSection(&m_csDelivery);
}
