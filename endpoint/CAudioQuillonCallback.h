#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

class CQuillon;

// The change callback of one binding: hands changes made by others to the owner's
// OnVolumeChanged. It is registered with the binding's endpoint, and after a move with the new
// one, under one event context. The platform forbids the callback to wait on a synchronisation
// object, so nothing here blocks a delivering thread: changes reach the owner one at a time
// through a turn taken with interlocked operations; a change that finds the turn taken (the
// platform's thread and a move's report may deliver at once) is queued for the thread that has
// it. Whoever stops deliveries waits for them on its own thread.
class CAudioQuillonCallback : public IAudioEndpointVolumeCallback
{
public:
    // A callback that tells pOwner of changes whose event context is not guidEventContext,
    // with one reference for the caller; null when memory runs out.
    static CAudioQuillonCallback* Create(CQuillon* pOwner, const GUID& guidEventContext);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA pNotify) override;

    // Tells the owner of a new endpoint's state after a move, in turn with the platform's
    // notifications, with the event context QUILLON_CONTEXT_ENDPOINT_MOVED.
    void Report(float fMasterVolume, BOOL bMuted);

    // Stops telling the owner: once this returns, no OnVolumeChanged starts. On a thread
    // outside every delivery it also waits until deliveries running on other threads have
    // left the owner. Inside a delivery it must not wait: inside this owner's the turn is this
    // thread's, so no other thread is in the owner; inside another owner's, a call of this
    // owner running elsewhere may outlast it (the rule that the public header states).
    void Disarm();
    // Returns once every OnVolumeChanged that had started before the call has returned. Only on
    // a thread outside every delivery, and one caller at a time.
    void WaitForDeliveriesUnderWay();

    // Whether this thread is inside an owner's OnVolumeChanged (of any callback, or of pOwner's):
    // there the platform's rules forbid waiting, unregistering and final releases.
    static bool InDelivery();
    static bool InDeliveryTo(const CQuillon* pOwner);
    // The library's thread state: set up at load (false when it cannot be), dropped at unload.
    static bool StartUp();
    static void ShutDown();

private:
    struct CChange
    {
        CChange* pNext;
        float fMasterVolume;
        BOOL bMuted;
        GUID guidEventContext;
    };

    CAudioQuillonCallback(CQuillon* pOwner, const GUID& guidEventContext);
    CAudioQuillonCallback(const CAudioQuillonCallback&) = delete;
    CAudioQuillonCallback& operator=(const CAudioQuillonCallback&) = delete;
    virtual ~CAudioQuillonCallback();

    CQuillon* Owner();
    void Deliver(const CChange& change);
    bool TakeTurn();
    // With the turn: tells the owner of every queued change, then gives the turn up.
    void TellQueued();
    void Tell(const CChange& change);

    LONG m_cRef;
    // Read and cleared with interlocked operations only.
    CQuillon* volatile m_pOwner;
    const GUID m_guidEventContext;
    // 1 while a thread is telling the owner; the changes waiting for it, newest first.
    LONG m_lTurn;
    CChange* volatile m_pQueued;
    // OnVolumeChanged calls started and finished (each counted before it reads the owner).
    LONG m_cStarted;
    LONG m_cFinished;
    // Set after each finished call; made by the first waiter, closed with this object, so that
    // a delivery never signals a closed handle.
    HANDLE volatile m_hFinished;
};
