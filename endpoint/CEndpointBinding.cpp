#include "CEndpointBinding.h"

#include <new>

#include "CCoTaskMemString.h"
#include "CComScope.h"
#include "CDefaultEndpointWatcher.h"
#include "CoreAudioIds.h"
#include "EndpointKey.h"
#include "ReturnIfFailed.h"
#include "ThreadPool.h"

HRESULT CEndpointBinding::Create(CQuillon* pOwner, CEndpointBinding** ppBinding)
{
    *ppBinding = nullptr;
    GUID guidEventContext;
    RETURN_IF_FAILED(CoCreateGuid(&guidEventContext));
    CComRef<CAudioQuillonCallback> pCallback(CAudioQuillonCallback::Create(pOwner, guidEventContext));
    if (!pCallback)
        return E_OUTOFMEMORY;
    *ppBinding = new (std::nothrow) CEndpointBinding(guidEventContext, pCallback.Get());
    if (!*ppBinding)
        return E_OUTOFMEMORY;
    pCallback.Detach();
    return S_OK;
}

CEndpointBinding::CEndpointBinding(const GUID& guidEventContext, CAudioQuillonCallback* pCallback)
    : m_cRef(1), m_guidEventContext(guidEventContext), m_pCallback(pCallback), m_bRegistered(false),
      m_nMoveState(eMovesStopped), m_nLetGoAsked(0), m_nLetGoDone(0), m_srwLetGo(SRWLOCK_INIT)
{
}

CEndpointBinding::~CEndpointBinding() = default;

ULONG CEndpointBinding::AddRef()
{
    return InterlockedIncrement(&m_cRef);
}

ULONG CEndpointBinding::Release()
{
    LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return cRef;
}

HRESULT CEndpointBinding::Open(eEndpoint endpoint, const char* pszKey)
{
    RETURN_IF_FAILED(CoCreateInstance(kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER, kIidMMDeviceEnumerator,
                                      m_pEnumerator.ReceiveVoid()));
    RETURN_IF_FAILED(endpoint == eByKey
                         ? FindEndpointByKey(m_pEnumerator.Get(), pszKey, m_pDevice.Receive())
                         : m_pEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, m_pDevice.Receive()));
    CComRef<IAudioEndpointVolume> pVolume;
    RETURN_IF_FAILED(m_pDevice->Activate(kIidAudioEndpointVolume, CLSCTX_ALL, nullptr, pVolume.ReceiveVoid()));
    IAudioEndpointVolume* pRegisterWith = pVolume.Get();
    // The slot is empty until now.
    CComRef<IAudioEndpointVolume> pNone(m_volume.Swap(pVolume.Detach()));
    RETURN_IF_FAILED(pRegisterWith->RegisterControlChangeNotify(m_pCallback.Get()));
    m_bRegistered = true;
    return endpoint == eFollowDefault ? Follow() : S_OK;
}

HRESULT CEndpointBinding::Follow()
{
    RETURN_IF_FAILED(CDefaultEndpointWatcher::Create(this, m_pWatcher.Receive()));
    InterlockedExchange(&m_nMoveState, eMovesIdle);
    const HRESULT hr = m_pEnumerator->RegisterEndpointNotificationCallback(m_pWatcher.Get());
    if (FAILED(hr)) {
        m_pWatcher.Reset();
        return hr;
    }
    // The default may have changed since it was opened, before the client was registered.
    RequestMove();
    return S_OK;
}

void CEndpointBinding::StopNotifying()
{
    LetGo(eLetGoNotifications);
}

void CEndpointBinding::Close()
{
    LetGo(eLetGoNotifications | eLetGoEndpoint);
    Release();
}

// The callback is disarmed here and now; the rest needs a thread that may wait and unregister.
// Should the thread pool be out of reach, the platform's objects are kept and the library stays
// loaded for good: the callback is disarmed already, so a leak is all that follows.
void CEndpointBinding::LetGo(LONG nLetGo)
{
    m_pCallback->Disarm();
    InterlockedOr(&m_nLetGoAsked, nLetGo);
    AddRef();
    if (!CAudioQuillonCallback::InDelivery())
        FinishLettingGo();
    else
        (void)QueueOnThreadPool(FinishLettingGoOnThreadPool, this);
}

void CEndpointBinding::FinishLettingGoOnThreadPool(void* pvBinding)
{
    CComScope com(COINIT_MULTITHREADED);
    static_cast<CEndpointBinding*>(pvBinding)->FinishLettingGo();
}

// One thread at a time, each doing what is asked and not done yet: a binding whose owner left
// inside a delivery may be closed by its last copy while that work is still under way. The
// moves stop before anything they use goes, and each registration ends before the references
// are released.
void CEndpointBinding::FinishLettingGo()
{
    AcquireSRWLockExclusive(&m_srwLetGo);
    const LONG nToDo = InterlockedOr(&m_nLetGoAsked, 0) & ~m_nLetGoDone;
    if (nToDo & eLetGoNotifications) {
        StopMoves();
        if (m_pWatcher)
            (void)m_pEnumerator->UnregisterEndpointNotificationCallback(m_pWatcher.Get());
        m_pWatcher.Reset();
        if (m_bRegistered) {
            (void)m_volume.Use([&](IAudioEndpointVolume* pVolume) {
                return pVolume->UnregisterControlChangeNotify(m_pCallback.Get());
            });
        }
        m_bRegistered = false;
    }
    if (nToDo & eLetGoEndpoint) {
        m_pEnumerator.Reset();
        m_pDevice.Reset();
        CComRef<IAudioEndpointVolume> pVolume(m_volume.Swap(nullptr));
    }
    m_nLetGoDone |= nToDo;
    ReleaseSRWLockExclusive(&m_srwLetGo);
    Release();
}

void CEndpointBinding::RequestMove()
{
    for (;;) {
        const LONG nState = InterlockedCompareExchange(&m_nMoveState, eMovesIdle, eMovesIdle);
        if (nState != eMovesIdle && nState != eMoving)
            return;
        const LONG nNext = nState == eMovesIdle ? eMoveQueued : eMovingAgain;
        if (InterlockedCompareExchange(&m_nMoveState, nNext, nState) != nState)
            continue;
        if (nState == eMovesIdle) {
            AddRef();
            if (!QueueOnThreadPool(RunMovesOnThreadPool, this)) {
                if (InterlockedCompareExchange(&m_nMoveState, eMovesIdle, eMoveQueued) != eMoveQueued)
                    InterlockedExchange(&m_nMoveState, eMovesStopped);
                Release();
            }
        }
        return;
    }
}

// A move under way (queued, running or due again) ends before this returns; a request after it
// is ignored.
void CEndpointBinding::StopMoves()
{
    const LONG nState = InterlockedExchange(&m_nMoveState, eMovesStopping);
    if (nState == eMovesIdle || nState == eMovesStopped) {
        InterlockedExchange(&m_nMoveState, eMovesStopped);
        return;
    }
    while (InterlockedCompareExchange(&m_nMoveState, eMovesStopped, eMovesStopped) != eMovesStopped)
        Sleep(1);
}

// The platform's objects are free-threaded; this thread enters the multithreaded apartment for
// the calls.
void CEndpointBinding::RunMovesOnThreadPool(void* pvBinding)
{
    CEndpointBinding* pThis = static_cast<CEndpointBinding*>(pvBinding);
    {
        CComScope com(COINIT_MULTITHREADED);
        pThis->RunMoves();
    }
    pThis->Release();
}

void CEndpointBinding::RunMoves()
{
    LONG nFrom = eMoveQueued;
    while (InterlockedCompareExchange(&m_nMoveState, eMoving, nFrom) == nFrom) {
        MoveToDefault();
        if (InterlockedCompareExchange(&m_nMoveState, eMovesIdle, eMoving) == eMoving)
            return;
        nFrom = eMovingAgain;
    }
    // StopMoves waits for this.
    InterlockedExchange(&m_nMoveState, eMovesStopped);
}

// Binds the callback and the host's calls to the default endpoint when that is another one than
// the bound endpoint, then reports the new endpoint's state. Without a default, or when a step
// fails, the binding stays where it is until the next notification. The callback keeps its
// event context, so the owner's own changes stay unreported on the new endpoint.
void CEndpointBinding::MoveToDefault()
{
    CComRef<IMMDevice> pDevice;
    CComRef<IAudioEndpointVolume> pVolume;
    if (FAILED(m_pEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, pDevice.Receive())) ||
        IsBound(pDevice.Get()) ||
        FAILED(pDevice->Activate(kIidAudioEndpointVolume, CLSCTX_ALL, nullptr, pVolume.ReceiveVoid())) ||
        FAILED(pVolume->RegisterControlChangeNotify(m_pCallback.Get())))
        return;

    // From here on the host's calls reach the new control; the old one is released once no call
    // uses it any more.
    pVolume->AddRef();
    {
        CComRef<IAudioEndpointVolume> pOld(m_volume.Swap(pVolume.Get()));
        (void)pOld->UnregisterControlChangeNotify(m_pCallback.Get());
    }
    *m_pDevice.Receive() = pDevice.Detach();

    float fLevel = 0.0f;
    BOOL bMuted = FALSE;
    if (SUCCEEDED(pVolume->GetMasterVolumeLevelScalar(&fLevel)) && SUCCEEDED(pVolume->GetMute(&bMuted)))
        m_pCallback->Report(fLevel, bMuted);
}

// An endpoint whose identity cannot be read counts as the bound one: no move on a guess.
bool CEndpointBinding::IsBound(IMMDevice* pDevice)
{
    CCoTaskMemString strId;
    CCoTaskMemString strBoundId;
    return FAILED(pDevice->GetId(strId.Receive())) || FAILED(m_pDevice->GetId(strBoundId.Receive())) ||
           wcscmp(strId.Get(), strBoundId.Get()) == 0;
}
