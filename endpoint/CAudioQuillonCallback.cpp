#include "CAudioQuillonCallback.h"

#include <new>

#include "CoreAudioIds.h"
#include "Quillon.h"
#include "Trace.h"

namespace
{

// Per thread: the owner whose OnVolumeChanged runs innermost on it, or null.
DWORD s_dwDeliverySlot = TLS_OUT_OF_INDEXES;

CQuillon* DeliveringTo()
{
    return static_cast<CQuillon*>(TlsGetValue(s_dwDeliverySlot));
}

// Whether fewer calls have finished than had started when cStarted was read (the counts wrap).
bool Unfinished(LONG* pcFinished, LONG cStarted)
{
    const ULONG cFinished = static_cast<ULONG>(InterlockedCompareExchange(pcFinished, 0, 0));
    return static_cast<LONG>(cFinished - static_cast<ULONG>(cStarted)) < 0;
}

}

bool CAudioQuillonCallback::StartUp()
{
    s_dwDeliverySlot = TlsAlloc();
    return s_dwDeliverySlot != TLS_OUT_OF_INDEXES;
}

void CAudioQuillonCallback::ShutDown()
{
    if (s_dwDeliverySlot != TLS_OUT_OF_INDEXES)
        TlsFree(s_dwDeliverySlot);
    s_dwDeliverySlot = TLS_OUT_OF_INDEXES;
}

bool CAudioQuillonCallback::InDelivery()
{
    return DeliveringTo() != nullptr;
}

bool CAudioQuillonCallback::InDeliveryTo(const CQuillon* pOwner)
{
    return DeliveringTo() == pOwner;
}

CAudioQuillonCallback* CAudioQuillonCallback::Create(CQuillon* pOwner, const GUID& guidEventContext)
{
    return new (std::nothrow) CAudioQuillonCallback(pOwner, guidEventContext);
}

CAudioQuillonCallback::CAudioQuillonCallback(CQuillon* pOwner, const GUID& guidEventContext)
    : m_cRef(1), m_pOwner(pOwner), m_guidEventContext(guidEventContext), m_lTurn(0), m_pQueued(nullptr), m_cStarted(0),
      m_cFinished(0), m_hFinished(nullptr)
{
}

// Every delivery has given up the turn by now, so nothing is queued; a change left over is freed.
CAudioQuillonCallback::~CAudioQuillonCallback()
{
    for (CChange* pChange = m_pQueued; pChange;) {
        CChange* pNext = pChange->pNext;
        delete pChange;
        pChange = pNext;
    }
    if (m_hFinished)
        CloseHandle(m_hFinished);
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

STDMETHODIMP CAudioQuillonCallback::OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA pNotify)
{
    if (!pNotify)
        return E_INVALIDARG;
    if (!IsEqualGUID(pNotify->guidEventContext, m_guidEventContext))
        Deliver(CChange{nullptr, pNotify->fMasterVolume, pNotify->bMuted, pNotify->guidEventContext});
    return S_OK;
}

void CAudioQuillonCallback::Report(float fMasterVolume, BOOL bMuted)
{
    Deliver(CChange{nullptr, fMasterVolume, bMuted, QUILLON_CONTEXT_ENDPOINT_MOVED});
}

// Never waits. The owner may let go of this object, and the platform of its registration,
// while the owner's OnVolumeChanged runs: the reference taken here keeps the object to the end.
// Should memory run out while another thread has the turn, the change is lost.
void CAudioQuillonCallback::Deliver(const CChange& change)
{
    AddRef();
    if (TakeTurn()) {
        Tell(change);
        TellQueued();
    } else if (CChange* pChange = new (std::nothrow) CChange(change)) {
        do {
            pChange->pNext = m_pQueued;
        } while (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pQueued), pChange,
                                                   pChange->pNext) != pChange->pNext);
        // The thread with the turn may have looked at the queue before this change arrived.
        if (TakeTurn())
            TellQueued();
    }
    Release();
}

bool CAudioQuillonCallback::TakeTurn()
{
    return InterlockedCompareExchange(&m_lTurn, 1, 0) == 0;
}

// After giving the turn up, the queue is looked at again: a change queued by a thread that found
// the turn taken would otherwise wait for the next delivery.
void CAudioQuillonCallback::TellQueued()
{
    do {
        CChange* pNewestFirst =
            static_cast<CChange*>(InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pQueued), nullptr));
        CChange* pOldestFirst = nullptr;
        while (pNewestFirst) {
            CChange* pNext = pNewestFirst->pNext;
            pNewestFirst->pNext = pOldestFirst;
            pOldestFirst = pNewestFirst;
            pNewestFirst = pNext;
        }
        while (pOldestFirst) {
            CChange* pNext = pOldestFirst->pNext;
            Tell(*pOldestFirst);
            delete pOldestFirst;
            pOldestFirst = pNext;
        }
        InterlockedExchange(&m_lTurn, 0);
    } while (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pQueued), nullptr, nullptr) &&
             TakeTurn());
}

// Counted before the owner is read: a Disarm that clears the owner after this read waits for
// the count.
void CAudioQuillonCallback::Tell(const CChange& change)
{
    InterlockedIncrement(&m_cStarted);
    if (CQuillon* pOwner = Owner()) {
        Trace("New master volume: %.03f\n", static_cast<double>(change.fMasterVolume));
        CQuillon* pOuter = DeliveringTo();
        TlsSetValue(s_dwDeliverySlot, pOwner);
        pOwner->OnVolumeChanged(change.fMasterVolume, change.bMuted != FALSE, change.guidEventContext);
        TlsSetValue(s_dwDeliverySlot, pOuter);
    }
    InterlockedIncrement(&m_cFinished);
    HANDLE hFinished = InterlockedCompareExchangePointer(&m_hFinished, nullptr, nullptr);
    if (hFinished)
        SetEvent(hFinished);
}

void CAudioQuillonCallback::Disarm()
{
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pOwner), nullptr);
    if (!InDelivery())
        WaitForDeliveriesUnderWay();
}

// The event is published before the count is looked at again, so a call that finishes after
// that look finds it and sets it.
void CAudioQuillonCallback::WaitForDeliveriesUnderWay()
{
    const LONG cStarted = InterlockedCompareExchange(&m_cStarted, 0, 0);
    if (!Unfinished(&m_cFinished, cStarted))
        return;
    if (!InterlockedCompareExchangePointer(&m_hFinished, nullptr, nullptr)) {
        HANDLE hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (hEvent && InterlockedCompareExchangePointer(&m_hFinished, hEvent, nullptr) != nullptr)
            CloseHandle(hEvent);
    }
    HANDLE hFinished = InterlockedCompareExchangePointer(&m_hFinished, nullptr, nullptr);
    while (Unfinished(&m_cFinished, cStarted)) {
        if (hFinished)
            WaitForSingleObject(hFinished, INFINITE);
        else
            Sleep(1);
    }
}
