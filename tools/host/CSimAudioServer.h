#pragma once

#include <windows.h>

#include "CSimAudioService.h"

// For demonstrations without a sound device whose volume others change: Quillon's simulated
// audio service, served in this process on the creating thread (where CoCreateInstance of the
// platform's device enumerator then finds it), with one endpoint at half volume. Other
// programs change its volume through a message-only window (SimVolumeRequest.h); the service
// makes the change with their event context and notifies its clients, as the platform does.
class CSimAudioServer
{
public:
    CSimAudioServer();
    ~CSimAudioServer();

    // Creates the window through which other programs change the volume; false on failure.
    bool Create();

private:
    CSimAudioServer(const CSimAudioServer&) = delete;
    CSimAudioServer& operator=(const CSimAudioServer&) = delete;

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    bool OnRequest(const COPYDATASTRUCT* pcds);

    CSimAudioService m_service;
    int m_iEndpoint;
    HWND m_hwnd;
};
