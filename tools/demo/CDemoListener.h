#pragma once

#include <Quillon.h>

#include <mutex>
#include <vector>

// A host's volume object for the demo: it keeps every change it is told of. OnVolumeChanged
// runs on the audio service's notification thread while the main thread reads the changes,
// so both go through a lock.
class CDemoListener : public CQuillon
{
public:
    struct Change
    {
        float fMasterVolume;
        bool bMuted;
        GUID guidEventContext;
    };

    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override;
    std::vector<Change> Changes();

private:
    std::mutex m_mutex;
    std::vector<Change> m_changes;
};
