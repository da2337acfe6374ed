#pragma once

#include <Quillon.h>

#include <atomic>

#include "CSlotPainter.h"

// The host's volume control on the default render endpoint. Changes that other programs
// make arrive in OnVolumeChanged on the platform's notification thread: the new state is
// stored atomically and announced to the UI thread with a posted message. A sent message
// would make the notification thread wait for the UI thread (and the audio service's other
// clients with it) and could deadlock while the UI thread calls into Quillon.
class CHostVolume : public CQuillon
{
public:
    // After each change, uMsgChanged is posted to hwndNotify.
    CHostVolume(HWND hwndNotify, UINT uMsgChanged);

    // Opens the default endpoint and reads its state into *pState; false (and a state that
    // is not known) without an endpoint.
    bool Open(VOLUMESTATE* pState);
    // The state of the latest change announced.
    VOLUMESTATE LatestChange() const;

    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override;

private:
    const HWND m_hwndNotify;
    const UINT m_uMsgChanged;
    std::atomic<float> m_fLevel;
    std::atomic<bool> m_bMuted;
};
