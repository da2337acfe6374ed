// A hostile host, run as a second process: it registers a second host while a first one hangs,
// asks again from inside its snapshot handler, and then bombards the band's utility and band
// windows with random protocol, theme, position and window-lifetime messages carrying random
// values and live, dead or foreign windows, checking the band's answers on the way.
//
// Usage: deskband_hostile_host PID SEED MESSAGES SECONDS. It sends at least MESSAGES random
// messages and goes on until SECONDS have passed. The exit code is 0 or a set of eFault bits.
#include <windows.h>

#include <stdlib.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>

#include "TestHostCommands.h"

namespace
{
enum eFault
{
    eFaultNoBand = 0x02,          // no utility window in the band's process (or no process named)
    eFaultNoAnswer = 0x04,        // a message was not answered in time
    eFaultWrongAnswer = 0x08,     // 9925 to 9927 answered differently, or the band window went
    eFaultNested = 0x10,          // a snapshot arrived while another was handled
    eFaultLostHost = 0x20,        // a host registered while another hung got nothing
    eFaultNoLaterSnapshot = 0x40, // the one asked for from inside the handler never came
};

const UINT kuTimeoutMs = 10000;

std::atomic<int> g_nFaults;
HWND g_hwndUtility;
// The next snapshot's handler registers its window again before returning.
bool g_fRegisterFromHandler;
thread_local bool t_fInSnapshot;
thread_local int t_cSnapshots;

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != WM_COPYDATA)
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    g_nFaults |= t_fInSnapshot ? eFaultNested : 0;
    ++t_cSnapshots;
    t_fInSnapshot = true;
    if (g_fRegisterFromHandler) {
        g_fRegisterFromHandler = false;
        SendMessageA(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwnd));
    }
    t_fInSnapshot = false;
    return TRUE;
}

// Handles this thread's messages until its windows have had cSnapshots in all, or the time is up.
bool WaitForSnapshots(int cSnapshots)
{
    for (const DWORD dwStart = GetTickCount(); t_cSnapshots < cSnapshots && GetTickCount() - dwStart < kuTimeoutMs;)
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0)
            PumpMessages();
    return t_cSnapshots >= cSnapshots;
}

// A failed send sets an error (a timeout, a window that is gone); Wine also answers some sends
// that went through with 0, but sets no error then.
DWORD_PTR Send(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR dwResult = 0;
    SetLastError(ERROR_SUCCESS);
    if (!SendMessageTimeoutA(hwnd, uMsg, wParam, lParam, SMTO_NORMAL, kuTimeoutMs, &dwResult) &&
        GetLastError() != ERROR_SUCCESS)
        g_nFaults |= eFaultNoAnswer;
    return dwResult;
}

// The host window of a thread that stops handling messages once something is sent to it keeps
// the band waiting; a second host on a thread of its own registers meanwhile and must get its
// snapshot once the band has given up on the first.
void RegisterSecondHostWhileFirstHangs()
{
    const HANDLE hWaitedOn = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> hwndHanging(nullptr);
    std::thread hanging([&] {
        const HWND hwnd = hwndHanging = CreateHiddenWindow("DeskbandHostileHost", HostWndProc, 10, 10);
        for (const DWORD dwStart = GetTickCount();
             !(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && GetTickCount() - dwStart < kuTimeoutMs;)
            Sleep(1);
        SetEvent(hWaitedOn);
        Sleep(3000);
        DestroyWindow(hwnd);
    });
    std::thread second([&] {
        const HWND hwnd = CreateHiddenWindow("DeskbandHostileHost", HostWndProc, 10, 10);
        WaitForSingleObject(hWaitedOn, kuTimeoutMs);
        Send(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwnd));
        g_nFaults |= WaitForSnapshots(1) ? 0 : eFaultLostHost;
        DestroyWindow(hwnd);
    });
    while (!hwndHanging)
        Sleep(1);
    Send(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwndHanging.load()));
    hanging.join();
    second.join();
    CloseHandle(hWaitedOn);
}

std::array<DWORD_PTR, 3> Answers()
{
    return {Send(g_hwndUtility, WM_DESKBAND_GETBANDWINDOW, 0, 0), Send(g_hwndUtility, WM_DESKBAND_GETVIEWMODE, 0, 0),
            Send(g_hwndUtility, WM_DESKBAND_GETBKCOLOR, 0, 0)};
}
}

int main(int argc, char** argv)
{
    if (argc != 5 || !(g_hwndUtility = FindUtilityWindowOf(strtoul(argv[1], nullptr, 10))))
        return eFaultNoBand;
    std::mt19937 random(strtoul(argv[2], nullptr, 10));
    const auto below = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(random); };
    const long cMessages = strtol(argv[3], nullptr, 10);
    const DWORD dwDeadline = GetTickCount() + 1000 * strtoul(argv[4], nullptr, 10);

    RegisterSecondHostWhileFirstHangs();
    // Registered from inside the snapshot handler: that snapshot is sent once the handler has
    // returned, never nested inside it.
    const std::array<DWORD_PTR, 3> expected = Answers();
    const HWND hwndBand = reinterpret_cast<HWND>(expected[0]);
    const HWND hwndHost = CreateHiddenWindow("DeskbandHostileHost", HostWndProc, 10, 10),
               hwndDead = CreateHiddenWindow("DeskbandHostileHost", HostWndProc, 10, 10);
    DestroyWindow(hwndDead);
    g_fRegisterFromHandler = true;
    Send(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwndHost));
    g_nFaults |= WaitForSnapshots(2) ? 0 : eFaultNoLaterSnapshot;

    // clang-format off
    const UINT auMessages[] = {WM_DESKBAND_GETBANDWINDOW, WM_DESKBAND_SETHOSTWINDOW, WM_DESKBAND_REFRESH, WM_ERASEBKGND,
        WM_THEMECHANGED, WM_SYSCOLORCHANGE, WM_DWMCOLORIZATIONCOLORCHANGED, WM_WINDOWPOSCHANGED, WM_USER + 0x1234,
        WM_CLOSE, WM_DESTROY, WM_NCDESTROY, WM_QUERYENDSESSION, WM_ENDSESSION, WM_SYSCOMMAND,
        WM_NCCREATE, WM_CREATE};
    // clang-format on
    for (long cSent = 0; cSent < cMessages || static_cast<LONG>(GetTickCount() - dwDeadline) < 0; ++cSent) {
        // Live and dead windows, ours, the band's own and the desktop (any other live window could
        // belong to a test running beside this one).
        const HWND ahwndAny[] = {nullptr,       hwndHost, hwndDead,           GetDesktopWindow(),
                                 g_hwndUtility, hwndBand, GetParent(hwndBand)};
        const HWND hwndAny = ahwndAny[below(7)], hwndTarget = below(2) ? g_hwndUtility : hwndBand;
        const UINT uMsg = auMessages[below(sizeof(auMessages) / sizeof(auMessages[0]))];
        // Mostly taskbar-like sizes, now and then empty, negative or absurdly wide ones. Wine
        // clamps a width to 32767 and its receiving side faults on copy-data blocks beyond about
        // a megabyte (which would only test Wine), so the band is kept a few pixels high then.
        const bool fAbsurd = below(32) == 0;
        const int cx = fAbsurd ? int(random() | 0x8000) : int(below(500)) - 50, cy = int(below(fAbsurd ? 8 : 100)) - 10;
        WINDOWPOS wp = {hwndAny, hwndAny, int(below(50)), int(below(20)), cx, cy, random() & ~SWP_NOSIZE};
        CREATESTRUCTA cs = {nullptr, nullptr, nullptr, nullptr, 10, 10, 0, 0, 0, "renamed", "STATIC", 0};
        const LPARAM lParam = uMsg == WM_WINDOWPOSCHANGED                ? reinterpret_cast<LPARAM>(&wp)
                              : uMsg == WM_NCCREATE || uMsg == WM_CREATE ? reinterpret_cast<LPARAM>(&cs)
                              : uMsg == WM_DESKBAND_SETHOSTWINDOW        ? reinterpret_cast<LPARAM>(hwndAny)
                                                                         : LPARAM(random());
        const WPARAM wParam = uMsg == WM_SYSCOMMAND ? SC_CLOSE : random();
        // Messages without a pointer are also posted; the band registers a host window of ours
        // now and then from inside its snapshot handler; and a registered host window goes away.
        g_fRegisterFromHandler = uMsg == WM_DESKBAND_SETHOSTWINDOW && hwndAny == hwndHost && below(2);
        if (lParam == reinterpret_cast<LPARAM>(&wp) || lParam == reinterpret_cast<LPARAM>(&cs) || below(2))
            Send(hwndTarget, uMsg, wParam, lParam);
        else
            PostMessageA(hwndTarget, uMsg, wParam, lParam);
        if (cSent % 16 == 0 && (Answers() != expected || !IsWindow(hwndBand)))
            g_nFaults |= eFaultWrongAnswer;
    }
    g_nFaults |= Answers() != expected || !IsWindow(hwndBand) ? eFaultWrongAnswer : 0;
    DestroyWindow(hwndHost);
    return g_nFaults;
}
