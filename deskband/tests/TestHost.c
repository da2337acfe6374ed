// The test host: a host program written in C against the protocol header, as a host developer
// writes one, run by the tests as a second process. It finds the band in the process of the
// collector window named on its command line, registers a window of its own, and passes every
// snapshot the header's check accepts on to the collector while the band still waits for it.
#include <windows.h>

#include <stdlib.h>

#include "TestHostCommands.h"

// In TestHostCheck.c, which sees nothing but the protocol header and is held to strict C99.
bool TestHostAccepts(uintptr_t dwData, const void* pvData, size_t cbData);

static HWND g_hwndCollector;
static BOOL g_fHangInNextSnapshot;

static LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    const COPYDATASTRUCT* pcds = (const COPYDATASTRUCT*)lParam;
    DWORD dwBandProcessId = 0;
    HWND hwndUtility;
    switch (uMsg) {
    case TESTHOST_REGISTER:
        GetWindowThreadProcessId(g_hwndCollector, &dwBandProcessId);
        if ((hwndUtility = FindUtilityWindowOf(dwBandProcessId)) != NULL)
            SendMessageA(hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, (LPARAM)hwnd);
        return (LRESULT)hwndUtility;
    case TESTHOST_HANG:
        g_fHangInNextSnapshot = TRUE;
        return TRUE;
    case WM_COPYDATA:
        if (!TestHostAccepts(pcds->dwData, pcds->lpData, pcds->cbData))
            return FALSE;
        if (g_fHangInNextSnapshot)
            Sleep(3000);
        g_fHangInNextSnapshot = FALSE;
        return SendMessageA(g_hwndCollector, WM_COPYDATA, wParam, lParam);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

// Usage: deskband_testhost COLLECTOR, the lower 32 bits of the collector window's handle, signed,
// in decimal (a 64-bit program sign-extends them).
int main(int argc, char** argv)
{
    HWND hwnd;
    if (argc != 2)
        return 2;
    g_hwndCollector = (HWND)LongToHandle(strtol(argv[1], NULL, 10));
    hwnd = CreateHiddenWindow("DeskbandTestHost", HostWndProc, 10, 10);
    if (!hwnd || !PostMessageA(g_hwndCollector, TESTHOST_READY, 0, (LPARAM)hwnd))
        return 1;
    RunMessageLoop();
    return 0;
}
