#include "CQuillonInternal.h"

#include <new>

#include "CComScope.h"
#include "ReturnIfFailed.h"

CQuillonInternal* CQuillonInternal::Create(CQuillon* pOwner)
{
    return new (std::nothrow) CQuillonInternal(pOwner);
}

void CQuillonInternal::Detach(CQuillon& quillon)
{
    CQuillonInternal* pImpl = quillon.m_pImpl;
    quillon.m_pImpl = nullptr;
    if (pImpl)
        pImpl->Leave(&quillon);
}

// Nothing here can fail, so COM is entered only once the implementation exists.
CQuillonInternal::CQuillonInternal(CQuillon* pOwner)
    : m_pOwner(pOwner), m_pBinding(nullptr), m_cShare(1), m_dwComThread(GetCurrentThreadId()),
      m_bComAdded(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
{
}

// The COM count is given back only on the thread that added it; elsewhere it stays with that
// thread (CoUninitialize acts on the calling thread alone).
CQuillonInternal::~CQuillonInternal()
{
    if (m_pBinding)
        m_pBinding->Close();
    if (m_bComAdded && GetCurrentThreadId() == m_dwComThread)
        CoUninitialize();
}

// Only the owner reopens a shared implementation: any other object might race the owner's
// destruction on another thread, so it takes an implementation of its own instead (and keeps
// sharing when memory runs out).
HRESULT CQuillonInternal::Initialize(CQuillon& quillon, CEndpointBinding::eEndpoint endpoint, const char* pszKey)
{
    CQuillonInternal* pImpl = quillon.m_pImpl;
    if (!pImpl)
        return E_OUTOFMEMORY;
    if (pImpl->Owner() != &quillon) {
        CQuillonInternal* pOwn = Create(&quillon);
        if (!pOwn)
            return E_OUTOFMEMORY;
        pImpl->Leave(&quillon);
        quillon.m_pImpl = pImpl = pOwn;
    }
    return pImpl->Open(endpoint, pszKey);
}

HRESULT CQuillonInternal::Open(CEndpointBinding::eEndpoint endpoint, const char* pszKey)
{
    // The endpoint objects outlive this scope: the constructor's count, or the host's own
    // apartment, keeps COM in the process for them.
    CComScope com(COINIT_APARTMENTTHREADED);
    if (m_pBinding)
        m_pBinding->Close();
    m_pBinding = nullptr;
    RETURN_IF_FAILED(CEndpointBinding::Create(Owner(), &m_pBinding));
    return m_pBinding->Open(endpoint, pszKey);
}

CQuillon* CQuillonInternal::Owner()
{
    return static_cast<CQuillon*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pOwner), nullptr, nullptr));
}

void CQuillonInternal::AddShare()
{
    InterlockedIncrement(&m_cShare);
}

// Only the owner's leaving clears the owner, and it does so once; the copies keep the endpoint.
void CQuillonInternal::Leave(CQuillon* pObject)
{
    if (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pOwner), nullptr, pObject) == pObject &&
        m_pBinding)
        m_pBinding->StopNotifying();
    if (InterlockedDecrement(&m_cShare) == 0)
        delete this;
}

HRESULT CQuillonInternal::SetMute(BOOL bMute)
{
    return UseVolume(
        [&](IAudioEndpointVolume* pVolume, const GUID* pguidContext) { return pVolume->SetMute(bMute, pguidContext); });
}

HRESULT CQuillonInternal::GetMute(BOOL* pbMuted)
{
    if (!pbMuted)
        return E_POINTER;
    return UseVolume([&](IAudioEndpointVolume* pVolume, const GUID*) {
        BOOL bMuted = FALSE;
        RETURN_IF_FAILED(pVolume->GetMute(&bMuted));
        *pbMuted = bMuted;
        return S_OK;
    });
}

HRESULT CQuillonInternal::SetVolume(float fLevel, bool bScalar)
{
    return UseVolume([&](IAudioEndpointVolume* pVolume, const GUID* pguidContext) {
        return bScalar ? pVolume->SetMasterVolumeLevelScalar(fLevel, pguidContext)
                       : pVolume->SetMasterVolumeLevel(fLevel, pguidContext);
    });
}

// The caller's pointer goes to the platform unchanged.
HRESULT CQuillonInternal::GetVolume(float* pfLevel, bool bScalar)
{
    if (!pfLevel)
        return E_POINTER;
    return UseVolume([&](IAudioEndpointVolume* pVolume, const GUID*) {
        return bScalar ? pVolume->GetMasterVolumeLevelScalar(pfLevel) : pVolume->GetMasterVolumeLevel(pfLevel);
    });
}

void CQuillonInternal::WaitForDeliveriesUnderWay()
{
    if (m_pBinding)
        m_pBinding->WaitForDeliveriesUnderWay();
}
