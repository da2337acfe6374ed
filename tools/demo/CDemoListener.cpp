#include "CDemoListener.h"

void CDemoListener::OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_changes.push_back(Change{fMasterVolume, bMuted, guidEventContext});
}

std::vector<CDemoListener::Change> CDemoListener::Changes()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_changes;
}
