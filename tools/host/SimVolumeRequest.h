#pragma once

// How another program changes the volume of the simulated audio service that the reference
// host serves with --simulated-audio: WM_COPYDATA to the service's message-only window
// (FindWindowExA(HWND_MESSAGE, nullptr, SIMVOLUME_WINDOW_CLASS, nullptr)) with dwData
// SIMVOLUME_REQUEST_ID and one SIMVOLUMEREQUEST. The service makes the change with the
// requester's event context and has notified every client before the message returns.

#include <windows.h>

#include <stdint.h>

const char SIMVOLUME_WINDOW_CLASS[] = "VeltrixSimulatedAudioService";
const uint32_t SIMVOLUME_REQUEST_ID = 0x564F4C31;

struct SIMVOLUMEREQUEST
{
    float fLevel; // 0.0 to 1.0
    int32_t fMuted;
    GUID guidEventContext;
};
