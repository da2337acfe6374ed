// The reference host: a stand-in for the host application that shows, in a few pages, how
// a host finds the desk band, registers with it and handles its background snapshots.
//
//   reference_host OUTPUT_FOLDER [--snapshots N] [--registered-event NAME]
//
// Saves every snapshot as OUTPUT_FOLDER/snapshot-<n>-<W>x<H>.png. Runs until Ctrl+C, or
// until N snapshots have arrived. --registered-event sets the named event after each
// registration with a band. Exit code 0 when every snapshot was valid and saved.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "CReferenceHost.h"

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
    fprintf(stderr, "usage: reference_host OUTPUT_FOLDER [--snapshots N] [--registered-event NAME]\n");
    return 2;
}
}

int main(int argc, char** argv)
{
    if (argc < 2 || argv[1][0] == '-')
        return Usage();
    unsigned cSnapshots = 0;
    const char* pszRegisteredEvent = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--snapshots") == 0 && i + 1 < argc) {
            const char* pszCount = argv[++i];
            char* pszEnd = nullptr;
            cSnapshots = strtoul(pszCount, &pszEnd, 10);
            if (pszEnd == pszCount || *pszEnd != '\0')
                return Usage();
        } else if (strcmp(argv[i], "--registered-event") == 0 && i + 1 < argc) {
            pszRegisteredEvent = argv[++i];
        } else {
            return Usage();
        }
    }

    // A host of either bitness talks to a band of either bitness.
    printf("host: %d-bit process\n", static_cast<int>(8 * sizeof(void*)));
    CReferenceHost host(argv[1], cSnapshots, pszRegisteredEvent);
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
