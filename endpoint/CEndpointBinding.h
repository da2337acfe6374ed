#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include "CAudioQuillonCallback.h"
#include "CComRef.h"
#include "CVolumeSlot.h"

class CDefaultEndpointWatcher;
class CQuillon;

// What one Initialize opens: the device enumerator, the endpoint, its volume control, the
// change callback registered with it under one event context, and, for an object that follows
// the default endpoint, the notification client and the moves it asks for. Reference counted:
// the implementation holds it, and so does every piece of work on a thread-pool thread, since a
// binding let go of inside a delivery finishes there after the implementation is gone.
class CEndpointBinding
{
public:
    enum eEndpoint
    {
        eDefault,
        eByKey,
        eFollowDefault
    };

    // A binding that tells pOwner of changes, nothing opened yet; E_OUTOFMEMORY, or the failure
    // of CoCreateGuid.
    [[nodiscard]] static HRESULT Create(CQuillon* pOwner, CEndpointBinding** ppBinding);

    // Opens the endpoint and registers for its changes (and, with eFollowDefault, for the
    // platform's endpoint notifications). What a failing step leaves held stays held.
    [[nodiscard]] HRESULT Open(eEndpoint endpoint, const char* pszKey);

    // action(volume control, event context)'s result; QUILLON_E_NOT_INITIALIZED without a
    // control. Safe on any thread while a move replaces the control.
    template <class F> HRESULT UseVolume(F action)
    {
        return m_volume.Use([&](IAudioEndpointVolume* pVolume) { return action(pVolume, &m_guidEventContext); });
    }
    // See CAudioQuillonCallback.
    void WaitForDeliveriesUnderWay() { m_pCallback->WaitForDeliveriesUnderWay(); }

    // Once these return no OnVolumeChanged starts. StopNotifying ends the registrations and the
    // moves and leaves the endpoint to the copies; Close lets go of everything and of the
    // caller's reference. The platform's objects are let go of here, or, inside a delivery
    // (where the platform forbids unregistering and final releases, and this thread must not
    // wait), on a thread-pool thread.
    void StopNotifying();
    void Close();

    // Asked by the notification client on the platform's thread: never waits. A move to the
    // default endpoint follows on a thread-pool thread, unless one is already due.
    void RequestMove();

    ULONG AddRef();
    ULONG Release();

private:
    // What has been asked of the binding, and done (under m_srwLetGo).
    enum eLetGo
    {
        eLetGoNotifications = 1,
        eLetGoEndpoint = 2
    };
    // The moves of a binding that follows the default endpoint, one at a time: a request while
    // one is queued adds nothing, a request while one runs makes it run again.
    enum eMoveState
    {
        eMovesIdle,
        eMoveQueued,
        eMoving,
        eMovingAgain,
        eMovesStopping,
        eMovesStopped
    };

    CEndpointBinding(const GUID& guidEventContext, CAudioQuillonCallback* pCallback);
    ~CEndpointBinding();
    CEndpointBinding(const CEndpointBinding&) = delete;
    CEndpointBinding& operator=(const CEndpointBinding&) = delete;

    [[nodiscard]] HRESULT Follow();
    void LetGo(LONG nLetGo);
    static void FinishLettingGoOnThreadPool(void* pvBinding);
    void FinishLettingGo();
    void StopMoves();
    static void RunMovesOnThreadPool(void* pvBinding);
    void RunMoves();
    void MoveToDefault();
    bool IsBound(IMMDevice* pDevice);

    LONG m_cRef;
    const GUID m_guidEventContext;
    CComRef<CAudioQuillonCallback> m_pCallback;
    CComRef<IMMDeviceEnumerator> m_pEnumerator;
    CComRef<IMMDevice> m_pDevice;
    CVolumeSlot m_volume;
    // Whether the callback is registered with the control in m_volume.
    bool m_bRegistered;
    CComRef<CDefaultEndpointWatcher> m_pWatcher;
    // An eMoveState.
    LONG m_nMoveState;
    // eLetGo flags asked for (any thread) and done (by one letting-go thread at a time).
    LONG m_nLetGoAsked;
    LONG m_nLetGoDone;
    SRWLOCK m_srwLetGo;
};
