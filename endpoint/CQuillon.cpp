#include "Quillon.h"

#include "CQuillonInternal.h"
#include "Trace.h"

namespace
{

// 0.01 in single precision (0x3C23D70A).
const float kfTestStep = 0.01f;

IAudioEndpointVolume* VolumeOf(const CQuillonInternal* pImpl)
{
    return pImpl ? pImpl->m_pVolume : nullptr;
}

// Only a result beyond a bound is replaced by the bound.
float StepLevel(float fLevel, int nMode)
{
    if (nMode == 1) {
        float fUp = fLevel + kfTestStep;
        return fUp > 1.0f ? 1.0f : fUp;
    }
    float fDown = fLevel - kfTestStep;
    return fDown < 0.0f ? 0.0f : fDown;
}

}

CQuillon::CQuillon() : m_pImpl(CQuillonInternal::Create(this)) {}

CQuillon::CQuillon(const CQuillon& source) : m_pImpl(source.m_pImpl)
{
    if (m_pImpl)
        m_pImpl->AddShare();
}

CQuillon& CQuillon::operator=(const CQuillon& source)
{
    if (m_pImpl != source.m_pImpl) {
        if (source.m_pImpl)
            source.m_pImpl->AddShare();
        if (m_pImpl)
            m_pImpl->Leave(this);
        m_pImpl = source.m_pImpl;
    }
    return *this;
}

CQuillon::~CQuillon()
{
    if (m_pImpl)
        m_pImpl->Leave(this);
}

// Only the owner (re)initialises a shared implementation: any other object might race the
// owner's destruction on another thread, so it takes an implementation of its own instead.
bool CQuillon::Initialize(eFindDevice eFind, const char* pszName)
{
    if (!m_pImpl)
        return false;
    if (!m_pImpl->IsOwner(this)) {
        CQuillonInternal* pOwn = CQuillonInternal::Create(this);
        if (!pOwn)
            return false;
        m_pImpl->Leave(this);
        m_pImpl = pOwn;
    }
    return m_pImpl->Initialize(eFind, pszName);
}

bool CQuillon::SetMute(bool bMute)
{
    IAudioEndpointVolume* pVolume = VolumeOf(m_pImpl);
    return pVolume && SUCCEEDED(pVolume->SetMute(bMute ? TRUE : FALSE, &m_pImpl->m_guidEventContext));
}

bool CQuillon::GetMute(bool* pbMute)
{
    IAudioEndpointVolume* pVolume = VolumeOf(m_pImpl);
    if (!pVolume || !pbMute)
        return false;
    BOOL bMuted = FALSE;
    if (FAILED(pVolume->GetMute(&bMuted)))
        return false;
    *pbMute = bMuted != FALSE;
    return true;
}

bool CQuillon::SetVolume(float fLevel, bool bScalar)
{
    IAudioEndpointVolume* pVolume = VolumeOf(m_pImpl);
    if (!pVolume)
        return false;
    const GUID* pguidContext = &m_pImpl->m_guidEventContext;
    HRESULT hr = bScalar ? pVolume->SetMasterVolumeLevelScalar(fLevel, pguidContext)
                         : pVolume->SetMasterVolumeLevel(fLevel, pguidContext);
    return SUCCEEDED(hr);
}

bool CQuillon::GetVolume(float* pfLevel, bool bScalar)
{
    IAudioEndpointVolume* pVolume = VolumeOf(m_pImpl);
    if (!pVolume || !pfLevel)
        return false;
    HRESULT hr = bScalar ? pVolume->GetMasterVolumeLevelScalar(pfLevel) : pVolume->GetMasterVolumeLevel(pfLevel);
    return SUCCEEDED(hr);
}

void CQuillon::Test(int nMode)
{
    IAudioEndpointVolume* pVolume = VolumeOf(m_pImpl);
    if (!pVolume || nMode < 1 || nMode > 3)
        return;

    float fLevel = 0.0f;
    if (FAILED(pVolume->GetMasterVolumeLevelScalar(&fLevel))) {
        Trace("Query volume failed!\n");
        return;
    }
    if (nMode == 3) {
        Trace("QUERY VOLUME: %.02f\n", static_cast<double>(fLevel));
        return;
    }
    if (FAILED(pVolume->SetMasterVolumeLevelScalar(StepLevel(fLevel, nMode), &m_pImpl->m_guidEventContext)))
        Trace("setvolume failed\n");
}

void CQuillon::OnVolumeChanged(float, bool, GUID) {}

// The library's own heap for objects of the class and of derived classes; nothing throws.
void* CQuillon::operator new(size_t cb) noexcept
{
    return ::operator new(cb, std::nothrow);
}

void* CQuillon::operator new[](size_t cb) noexcept
{
    return ::operator new[](cb, std::nothrow);
}

void* CQuillon::operator new(size_t cb, const std::nothrow_t&) noexcept
{
    return ::operator new(cb, std::nothrow);
}

void* CQuillon::operator new[](size_t cb, const std::nothrow_t&) noexcept
{
    return ::operator new[](cb, std::nothrow);
}

void CQuillon::operator delete(void* pv) noexcept
{
    ::operator delete(pv);
}

void CQuillon::operator delete[](void* pv) noexcept
{
    ::operator delete[](pv);
}

void CQuillon::operator delete(void* pv, size_t) noexcept
{
    ::operator delete(pv);
}

void CQuillon::operator delete[](void* pv, size_t) noexcept
{
    ::operator delete[](pv);
}

void CQuillon::operator delete(void* pv, const std::nothrow_t&) noexcept
{
    ::operator delete(pv);
}

void CQuillon::operator delete[](void* pv, const std::nothrow_t&) noexcept
{
    ::operator delete[](pv);
}

extern "C" int Quillon_GetDllVersion()
{
    return 1001;
}
