#include "Quillon.h"

#include "CQuillonInternal.h"
#include "Trace.h"

namespace
{

// 0.01 in single precision (0x3C23D70A).
const float kfTestStep = 0.01f;

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

void TestVolume(IAudioEndpointVolume* pVolume, const GUID* pguidContext, int nMode)
{
    float fLevel = 0.0f;
    if (FAILED(pVolume->GetMasterVolumeLevelScalar(&fLevel))) {
        Trace("Query volume failed!\n");
        return;
    }
    if (nMode == 3) {
        Trace("QUERY VOLUME: %.02f\n", static_cast<double>(fLevel));
        return;
    }
    if (FAILED(pVolume->SetMasterVolumeLevelScalar(StepLevel(fLevel, nMode), pguidContext)))
        Trace("setvolume failed\n");
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

bool CQuillon::Initialize(eFindDevice eFind, const char* pszName)
{
    return SUCCEEDED(CQuillonInternal::Initialize(
        *this, eFind == eFindByName ? CEndpointBinding::eByKey : CEndpointBinding::eDefault, pszName));
}

bool CQuillon::InitializeFollowingDefault()
{
    return SUCCEEDED(CQuillonInternal::Initialize(*this, CEndpointBinding::eFollowDefault, nullptr));
}

bool CQuillon::SetMute(bool bMute)
{
    return m_pImpl && SUCCEEDED(m_pImpl->SetMute(bMute ? TRUE : FALSE));
}

bool CQuillon::GetMute(bool* pbMute)
{
    BOOL bMuted = FALSE;
    if (!m_pImpl || !pbMute || FAILED(m_pImpl->GetMute(&bMuted)))
        return false;
    *pbMute = bMuted != FALSE;
    return true;
}

bool CQuillon::SetVolume(float fLevel, bool bScalar)
{
    return m_pImpl && SUCCEEDED(m_pImpl->SetVolume(fLevel, bScalar));
}

bool CQuillon::GetVolume(float* pfLevel, bool bScalar)
{
    return m_pImpl && SUCCEEDED(m_pImpl->GetVolume(pfLevel, bScalar));
}

void CQuillon::Test(int nMode)
{
    if (!m_pImpl || nMode < 1 || nMode > 3)
        return;
    (void)m_pImpl->UseVolume([&](IAudioEndpointVolume* pVolume, const GUID* pguidContext) {
        TestVolume(pVolume, pguidContext, nMode);
        return S_OK;
    });
}

void CQuillon::OnVolumeChanged(float, bool, GUID) {}

HRESULT CQuillon::ListEndpoints(QUILLON_ENDPOINT_LIST** ppList)
{
    return Quillon_ListEndpoints(ppList);
}

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

extern "C" int QUILLON_CALL Quillon_GetDllVersion()
{
    return 1001;
}
