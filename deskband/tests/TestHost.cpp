// A stand-in for the host program, run as a second process: it finds the band's utility
// window as the host does, registers a window of its own, and passes every WM_COPYDATA it
// receives on to the test's collector window (wParam, dwData and bytes) while the band still
// waits for it.
#include <windows.h>

#include <stdlib.h>

#include "TestHostCommands.h"

namespace
{
HWND g_hwndCollector;
std::string g_strCollector;
bool g_fInSnapshot;
// TESTHOST_ARM's window to register from the next snapshot's handler, and whether to hang then.
bool g_fArmed;
HWND g_hwndToRegister;
bool g_fHangInSnapshot;

// Stops handling messages until the test sets the resume event.
void Hang()
{
    const HANDLE hResume = OpenEventA(SYNCHRONIZE, FALSE, TestHostEventName(g_strCollector, "resume").c_str());
    if (hResume) {
        WaitForSingleObject(hResume, 30000);
        CloseHandle(hResume);
    }
}

LRESULT OnSnapshot(HWND hwndUtility, LPARAM lParam)
{
    if (g_fInSnapshot)
        return FALSE;
    g_fInSnapshot = true;
    if (g_fArmed) {
        g_fArmed = false;
        SendMessageA(hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(g_hwndToRegister));
        if (g_fHangInSnapshot)
            Hang();
    }
    const LRESULT lResult = SendMessageA(g_hwndCollector, WM_COPYDATA, reinterpret_cast<WPARAM>(hwndUtility), lParam);
    g_fInSnapshot = false;
    return lResult;
}

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case TESTHOST_REGISTER: {
        DWORD dwBandProcessId = 0;
        GetWindowThreadProcessId(g_hwndCollector, &dwBandProcessId);
        const HWND hwndUtility = FindUtilityWindowOf(dwBandProcessId);
        if (hwndUtility)
            SendMessageA(hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwnd));
        return reinterpret_cast<LRESULT>(hwndUtility);
    }
    case WM_COPYDATA:
        return OnSnapshot(reinterpret_cast<HWND>(wParam), lParam);
    case TESTHOST_ARM:
        g_fArmed = true;
        g_fHangInSnapshot = wParam != 0;
        g_hwndToRegister = reinterpret_cast<HWND>(lParam);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}
}

// Usage: deskband_testhost COLLECTOR, the collector window's handle (its lower 32 bits, signed)
// in decimal.
int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    g_strCollector = argv[1];
    // Handles travel between programs of different bitness as their lower 32 bits, which a
    // 64-bit program sign-extends.
    g_hwndCollector = static_cast<HWND>(LongToHandle(strtol(argv[1], nullptr, 10)));
    const HWND hwnd = CreateHiddenWindow("DeskbandTestHost", HostWndProc, 10, 10);
    if (!hwnd || !PostMessageA(g_hwndCollector, TESTHOST_READY, 0, reinterpret_cast<LPARAM>(hwnd)))
        return 1;
    RunMessageLoop();
    return 0;
}
