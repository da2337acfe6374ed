#include "CAudioQuillonCallback.h"

#include <new>

#include "Quillon.h"
#include "Trace.h"

namespace
{

const IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidAudioEndpointVolumeCallback = {
    0x657804FA, 0xD6AD, 0x4496, {0x8A, 0x60, 0x35, 0x27, 0x52, 0xAF, 0x4F, 0x89}};

// Per thread: how many owners' OnVolumeChanged calls are running on it (nested ones count).
DWORD s_dwDeliveryDepthSlot = TLS_OUT_OF_INDEXES;

LONG_PTR DeliveryDepth()
{
    return reinterpret_cast<LONG_PTR>(TlsGetValue(s_dwDeliveryDepthSlot));
}

void AddToDeliveryDepth(LONG_PTR nChange)
{
    TlsSetValue(s_dwDeliveryDepthSlot, reinterpret_cast<void*>(DeliveryDepth() + nChange));
}

}

bool CAudioQuillonCallback::StartUp()
{
    s_dwDeliveryDepthSlot = TlsAlloc();
    return s_dwDeliveryDepthSlot != TLS_OUT_OF_INDEXES;
}

void CAudioQuillonCallback::ShutDown()
{
    if (s_dwDeliveryDepthSlot != TLS_OUT_OF_INDEXES)
        TlsFree(s_dwDeliveryDepthSlot);
    s_dwDeliveryDepthSlot = TLS_OUT_OF_INDEXES;
}

bool CAudioQuillonCallback::InDelivery()
{
    return DeliveryDepth() != 0;
}

CAudioQuillonCallback* CAudioQuillonCallback::Create(CQuillon* pOwner, const GUID& guidEventContext)
{
    return new (std::nothrow) CAudioQuillonCallback(pOwner, guidEventContext);
}

CAudioQuillonCallback::CAudioQuillonCallback(CQuillon* pOwner, const GUID& guidEventContext)
    : m_cRef(1), m_pOwner(pOwner), m_guidEventContext(guidEventContext), m_cDelivering(0), m_hDrained(nullptr)
{
}

CAudioQuillonCallback::~CAudioQuillonCallback()
{
    if (m_hDrained)
        CloseHandle(m_hDrained);
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

CQuillon* CAudioQuillonCallback::Owner()
{
    return static_cast<CQuillon*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pOwner), nullptr, nullptr));
}

// Never waits: the count and the owner are read and written with interlocked operations, and
// the event (if a Disarm made one) is only set.
STDMETHODIMP CAudioQuillonCallback::OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA pNotify)
{
    if (!pNotify)
        return E_INVALIDARG;

    // The owner may let go of this object, and the platform of its registration, while the
    // owner's OnVolumeChanged runs: this reference keeps the object to the end of the call.
    AddRef();
    // Counted before the owner is read: a Disarm that clears the owner after this read
    // waits for the count.
    InterlockedIncrement(&m_cDelivering);
    CQuillon* pOwner = Owner();
    if (pOwner && !IsEqualGUID(pNotify->guidEventContext, m_guidEventContext)) {
        Trace("New master volume: %.03f\n", static_cast<double>(pNotify->fMasterVolume));
        AddToDeliveryDepth(1);
        pOwner->OnVolumeChanged(pNotify->fMasterVolume, pNotify->bMuted != FALSE, pNotify->guidEventContext);
        AddToDeliveryDepth(-1);
    }
    if (InterlockedDecrement(&m_cDelivering) == 0) {
        HANDLE hDrained = InterlockedCompareExchangePointer(&m_hDrained, nullptr, nullptr);
        if (hDrained)
            SetEvent(hDrained);
    }
    Release();
    return S_OK;
}

void CAudioQuillonCallback::Disarm()
{
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pOwner), nullptr);
    if (InDelivery() || InterlockedCompareExchange(&m_cDelivering, 0, 0) == 0)
        return;

    // The event is published before the count is looked at again, so a delivery that leaves
    // after that look finds it and sets it.
    if (!InterlockedCompareExchangePointer(&m_hDrained, nullptr, nullptr)) {
        HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (hEvent && InterlockedCompareExchangePointer(&m_hDrained, hEvent, nullptr) != nullptr)
            CloseHandle(hEvent);
    }
    HANDLE hDrained = InterlockedCompareExchangePointer(&m_hDrained, nullptr, nullptr);
    while (InterlockedCompareExchange(&m_cDelivering, 0, 0) != 0) {
        if (hDrained)
            WaitForSingleObject(hDrained, INFINITE);
        else
            Sleep(1);
    }
}
