#include "CHostVolume.h"

CHostVolume::CHostVolume(HWND hwndNotify, UINT uMsgChanged)
    : m_hwndNotify(hwndNotify), m_uMsgChanged(uMsgChanged), m_fLevel(0.0f), m_bMuted(false)
{
}

bool CHostVolume::Open(VOLUMESTATE* pState)
{
    *pState = VOLUMESTATE{false, 0.0f, false};
    float fLevel = 0.0f;
    bool bMuted = false;
    if (!Initialize(eFindDefault, nullptr) || !GetVolume(&fLevel, true) || !GetMute(&bMuted))
        return false;
    *pState = VOLUMESTATE{true, fLevel, bMuted};
    return true;
}

VOLUMESTATE CHostVolume::LatestChange() const
{
    return VOLUMESTATE{true, m_fLevel.load(), m_bMuted.load()};
}

// A change made between Open's reads and this call is announced here as well, so the UI
// thread ends with the newest state whichever comes first.
void CHostVolume::OnVolumeChanged(float fMasterVolume, bool bMuted, GUID)
{
    m_fLevel.store(fMasterVolume);
    m_bMuted.store(bMuted);
    PostMessageA(m_hwndNotify, m_uMsgChanged, 0, 0);
}
