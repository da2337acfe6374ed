#pragma once

#include <Quillon.h>

// The endpoint's volume control that prints every change made by somebody else.
class CVolumeWatcher : public CQuillon
{
public:
    // Runs on the platform's notification thread, while the main thread waits; printing one
    // whole line per call keeps lines from different calls apart.
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override;
};
