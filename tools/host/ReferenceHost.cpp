// The reference host: a stand-in for the host application that shows, in a few pages, how
// a host finds the desk band, registers with it, handles its background snapshots and draws
// in its slot, with the volume that Quillon reports.
//
//   reference_host OUTPUT_FOLDER [--snapshots N] [--exit-with-band] [--registered-event NAME]
//                  [--simulated-audio]
//
// Saves every snapshot as OUTPUT_FOLDER/snapshot-<n>-<W>x<H>.png and shows the latest over the
// band window with the default audio endpoint's volume. Runs until Ctrl+C, until N snapshots
// have arrived, or with --exit-with-band until the band goes away. --registered-event sets the
// named event after each registration with a band. --simulated-audio serves a simulated audio
// service in this process instead of the platform's, whose volume other programs change
// through SimVolumeRequest.h. Exit code 0 when every snapshot was valid and saved.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "CReferenceHost.h"
#include "CSimAudioServer.h"

namespace
{
CReferenceHost* g_pHost;

BOOL WINAPI OnConsoleControl(DWORD)
{
    g_pHost->Close();
    return TRUE;
}

int Usage()
{
    fprintf(stderr, "usage: reference_host OUTPUT_FOLDER [--snapshots N] [--exit-with-band] [--registered-event NAME] "
                    "[--simulated-audio]\n");
    return 2;
}

// The band's rectangle and its snapshots are in physical pixels. Without DPI awareness the
// system would report the band window scaled and stretch our window over it.
void BecomeDpiAware()
{
    using PFNSETDPICONTEXT = BOOL(WINAPI*)(HANDLE);
    const auto pfnSetContext = reinterpret_cast<PFNSETDPICONTEXT>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDpiAwarenessContext"));
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, from Windows 10 version 1703.
    if (pfnSetContext && pfnSetContext(reinterpret_cast<HANDLE>(-4)))
        return;
    SetProcessDPIAware();
}

int RunHost(const HOSTOPTIONS& options)
{
    // A host of either bitness talks to a band of either bitness.
    printf("host: %d-bit process\n", static_cast<int>(8 * sizeof(void*)));
    CReferenceHost host(options);
    if (!host.Create()) {
        fprintf(stderr, "reference_host: could not create the host window\n");
        return 1;
    }
    g_pHost = &host;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const int nExitCode = host.Run();
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    return nExitCode;
}
}

int main(int argc, char** argv)
{
    if (argc < 2 || argv[1][0] == '-')
        return Usage();
    HOSTOPTIONS options = {argv[1], 0, false, nullptr};
    bool bSimulatedAudio = false;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--snapshots") == 0 && i + 1 < argc) {
            const char* pszCount = argv[++i];
            char* pszEnd = nullptr;
            options.cSnapshotsWanted = strtoul(pszCount, &pszEnd, 10);
            if (pszEnd == pszCount || *pszEnd != '\0')
                return Usage();
        } else if (strcmp(argv[i], "--exit-with-band") == 0) {
            options.bExitWithBand = true;
        } else if (strcmp(argv[i], "--registered-event") == 0 && i + 1 < argc) {
            options.pszRegisteredEvent = argv[++i];
        } else if (strcmp(argv[i], "--simulated-audio") == 0) {
            bSimulatedAudio = true;
        } else {
            return Usage();
        }
    }

    BecomeDpiAware();
    // The UI thread is a single-threaded apartment, as Quillon and window code expect.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        fprintf(stderr, "reference_host: could not initialise COM\n");
        return 1;
    }
    int nExitCode = 1;
    {
        // Served on this thread before Quillon looks for the platform's audio service here.
        std::unique_ptr<CSimAudioServer> pSimAudio(bSimulatedAudio ? new CSimAudioServer : nullptr);
        if (pSimAudio && !pSimAudio->Create()) {
            fprintf(stderr, "reference_host: could not serve the simulated audio service\n");
        } else {
            if (pSimAudio)
                printf("host: serving a simulated audio service in this process\n");
            nExitCode = RunHost(options);
        }
    }
    CoUninitialize();
    return nExitCode;
}
