// A hostile host, run as a second process: it bombards a band's utility and band windows with
// random protocol messages, dead and foreign window handles, junk copy-data blocks, window
// position storms, theme changes and window-lifetime messages, registers again from inside
// its snapshot handler, and once registers a second host while a first one hangs. It checks
// the band's answers on the way and at the end, and every block that reaches its windows.
//
// Usage: deskband_hostile_host PID SEED MESSAGES SECONDS. It sends at least MESSAGES
// messages and goes on until SECONDS have passed. The exit code is 0 or a set of
// HOSTILE_FAULT_* bits.
#include <windows.h>

#include <stdlib.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "DeskbandProtocol.h"
#include "HostileHostFaults.h"
#include "TestHostCommands.h"

namespace
{
const UINT kuSendTimeoutMs = 10000;

// What the band answers to 9925 to 9927: its band window, view mode and colour.
typedef std::array<DWORD_PTR, 3> BandAnswers;

std::atomic<DWORD> g_dwFaults;
HWND g_hwndUtility;
std::atomic<int> g_cSnapshots;
// Set by an act: the next snapshot's handler registers its window again before returning.
bool g_fRegisterFromHandler;
thread_local bool t_fInSnapshot;

// Every block that reaches one of our windows is judged as the reference host judges it, and
// none may arrive while the thread still handles another.
LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != WM_COPYDATA)
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    const auto pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (reinterpret_cast<HWND>(wParam) != g_hwndUtility ||
        !DeskbandSnapshotIsValid(pcds->dwData, pcds->lpData, pcds->cbData, nullptr))
        g_dwFaults |= HOSTILE_FAULT_BAD_SNAPSHOT;
    if (t_fInSnapshot)
        g_dwFaults |= HOSTILE_FAULT_NESTED;
    ++g_cSnapshots;
    t_fInSnapshot = true;
    if (g_fRegisterFromHandler) {
        g_fRegisterFromHandler = false;
        SendMessageA(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwnd));
    }
    t_fInSnapshot = false;
    return TRUE;
}

HWND CreateHostWindow()
{
    return CreateHiddenWindow("DeskbandHostileHost", HostWndProc, 10, 10);
}

class CHostileHost
{
public:
    CHostileHost(HWND hwndUtility, unsigned nSeed) : m_random(nSeed), m_hwndUtility(hwndUtility)
    {
        m_expected = Answers();
        m_hwndBand = reinterpret_cast<HWND>(m_expected[0]);
        m_hwndHost = CreateHostWindow();
        m_hwndForeign = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        m_hwndDead = CreateHostWindow();
        DestroyWindow(m_hwndDead);
    }
    ~CHostileHost()
    {
        DestroyWindow(m_hwndHost);
        DestroyWindow(m_hwndForeign);
    }

    // One random act; returns the number of messages it sent.
    int Act()
    {
        switch (Below(10)) {
        case 0:
            return AskAndCheck();
        case 1:
            return Send(m_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, Random(), reinterpret_cast<LPARAM>(AnyWindow()));
        case 2:
            return SendJunkCopyData();
        case 3:
            return WindowPosStorm();
        case 4:
            return ChangeTheme();
        case 5:
            return Send(AnyBandWindow(), WM_USER + Below(0x10000 - WM_USER), Random(), Random());
        case 6:
            return Send(m_hwndBand, Below(2) ? WM_ERASEBKGND : WM_DESKBAND_REFRESH, Random(), Random());
        case 7:
            return LifetimeMessage();
        case 8:
            g_fRegisterFromHandler = true;
            return Send(m_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(m_hwndHost));
        default:
            return ReplaceHostWindow();
        }
    }

    // The host window of a thread that stops handling messages once something is sent to it
    // keeps the band waiting; a second host on a thread of its own registers meanwhile and
    // must get its snapshot once the band has given up on the first.
    int RegisterSecondHostWhileFirstHangs()
    {
        const HANDLE hWaitedOn = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::atomic<HWND> hwndHanging(nullptr);
        std::thread hanging([&] {
            const HWND hwnd = CreateHostWindow();
            hwndHanging = hwnd;
            while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE))
                Sleep(1);
            SetEvent(hWaitedOn);
            Sleep(3000);
            DestroyWindow(hwnd);
        });
        std::thread second([&] {
            const HWND hwnd = CreateHostWindow();
            WaitForSingleObject(hWaitedOn, kuSendTimeoutMs);
            const int cBefore = g_cSnapshots;
            Send(m_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwnd));
            MSG msg;
            for (DWORD dwStart = GetTickCount(); g_cSnapshots == cBefore && GetTickCount() - dwStart < kuSendTimeoutMs;)
                if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageA(&msg);
                else
                    Sleep(1);
            if (g_cSnapshots == cBefore)
                g_dwFaults |= HOSTILE_FAULT_LOST_HOST;
            DestroyWindow(hwnd);
        });
        while (!hwndHanging)
            Sleep(1);
        Send(m_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwndHanging.load()));
        hanging.join();
        second.join();
        CloseHandle(hWaitedOn);
        return 2;
    }

    // Asks the band its three questions and checks the answers against the first ones.
    int AskAndCheck()
    {
        if (Answers() != m_expected || !IsWindow(m_hwndBand))
            g_dwFaults |= HOSTILE_FAULT_WRONG_ANSWER;
        return 3;
    }

private:
    unsigned Below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(m_random); }
    LPARAM Random() { return static_cast<LPARAM>(m_random()); }

    int Send(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam, DWORD_PTR* pdwResult = nullptr)
    {
        // A failed send sets an error (a timeout, a window that is gone); Wine also answers
        // some sends that went through with 0, but sets no error then.
        DWORD_PTR dwIgnored = 0;
        SetLastError(ERROR_SUCCESS);
        if (!SendMessageTimeoutA(hwnd, uMsg, wParam, lParam, SMTO_NORMAL, kuSendTimeoutMs,
                                 pdwResult ? pdwResult : &dwIgnored) &&
            GetLastError() != ERROR_SUCCESS)
            g_dwFaults |= HOSTILE_FAULT_NO_ANSWER;
        return 1;
    }

    BandAnswers Answers()
    {
        BandAnswers answers = {};
        for (UINT i = 0; i < answers.size(); ++i)
            Send(m_hwndUtility, WM_DESKBAND_GETBANDWINDOW + i, Random(), Random(), &answers[i]);
        return answers;
    }

    HWND AnyBandWindow() { return Below(2) ? m_hwndUtility : m_hwndBand; }

    // Live and dead, ours and the band's own, the desktop, and numbers that are no window.
    // (Any other live window could belong to a test running beside this one.)
    HWND AnyWindow()
    {
        const HWND ahwnd[] = {nullptr,
                              m_hwndHost,
                              m_hwndDead,
                              m_hwndForeign,
                              GetDesktopWindow(),
                              m_hwndUtility,
                              m_hwndBand,
                              GetParent(m_hwndBand),
                              NoWindow(0xFFFFFFFF),
                              NoWindow(0xFFFF)};
        return ahwnd[Below(sizeof(ahwnd) / sizeof(ahwnd[0]))];
    }

    HWND NoWindow(DWORD dwMask)
    {
        HWND hwnd;
        do
            hwnd = reinterpret_cast<HWND>(Random() & dwMask);
        while (IsWindow(hwnd));
        return hwnd;
    }

    int SendJunkCopyData()
    {
        std::vector<BYTE> junk(Below(4) ? Below(256) : Below(64 * 1024));
        for (BYTE& b : junk)
            b = static_cast<BYTE>(m_random());
        if (junk.size() >= 12 && Below(2)) {
            // Looks like a snapshot header, with sizes that do not match the block.
            const DWORD adwHeader[] = {DESKBAND_SNAPSHOT_HEADER_WORD, static_cast<DWORD>(Random()),
                                       static_cast<DWORD>(Random())};
            memcpy(junk.data(), adwHeader, sizeof(adwHeader));
        }
        COPYDATASTRUCT cds = {Below(2) ? DESKBAND_SNAPSHOT_ID : static_cast<ULONG_PTR>(Random()),
                              static_cast<DWORD>(junk.size()), junk.empty() ? nullptr : junk.data()};
        return Send(AnyBandWindow(), WM_COPYDATA, reinterpret_cast<WPARAM>(AnyWindow()),
                    reinterpret_cast<LPARAM>(&cds));
    }

    // Mostly taskbar-like sizes; now and then empty or negative ones.
    int Extent(int nUsual)
    {
        switch (Below(16)) {
        case 0:
            return 0;
        case 1:
            return -static_cast<int>(Below(100)) - 1;
        default:
            return static_cast<int>(Below(nUsual)) + 1;
        }
    }

    // Now and then an absurd width. Wine clamps it to 32767, and its receiving side faults
    // on copy-data blocks beyond about a megabyte (which would only test Wine), so the band
    // is kept a few pixels high then.
    SIZE AnySize()
    {
        if (Below(32) == 0)
            return {static_cast<int>(Random() | 0x8000), static_cast<int>(Below(8))};
        return {Extent(400), Extent(80)};
    }

    int WindowPosStorm()
    {
        const int cMessages = 1 + Below(20);
        for (int i = 0; i < cMessages; ++i) {
            const SIZE size = AnySize();
            WINDOWPOS wp = {AnyWindow(), AnyWindow(), static_cast<int>(Below(50)), static_cast<int>(Below(20)),
                            size.cx,     size.cy,     static_cast<UINT>(Random())};
            if (Below(2))
                wp.flags &= ~SWP_NOSIZE;
            Send(m_hwndBand, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
        }
        return cMessages;
    }

    // Messages of a window's creation and end, sent or posted from outside (the ones that carry
    // a pointer can only be sent): the band's windows must outlive them all.
    int LifetimeMessage()
    {
        static const UINT auMessages[] = {WM_CLOSE,      WM_DESTROY,    WM_NCDESTROY, WM_QUERYENDSESSION,
                                          WM_ENDSESSION, WM_SYSCOMMAND, WM_NCCREATE,  WM_CREATE};
        const UINT uMsg = auMessages[Below(sizeof(auMessages) / sizeof(auMessages[0]))];
        CREATESTRUCTA cs = {nullptr, nullptr, nullptr, nullptr, 10, 10, 0, 0, 0, "renamed", "STATIC", 0};
        const WPARAM wParam = uMsg == WM_SYSCOMMAND ? SC_CLOSE : TRUE;
        if (uMsg == WM_NCCREATE || uMsg == WM_CREATE)
            return Send(AnyBandWindow(), uMsg, 0, reinterpret_cast<LPARAM>(&cs));
        if (Below(2))
            return Send(AnyBandWindow(), uMsg, wParam, 0);
        PostMessageA(AnyBandWindow(), uMsg, wParam, 0);
        return 1;
    }

    int ChangeTheme()
    {
        const UINT auMessages[] = {WM_THEMECHANGED, WM_SYSCOLORCHANGE, WM_DWMCOLORIZATIONCOLORCHANGED,
                                   WM_DWMCOMPOSITIONCHANGED};
        return Send(m_hwndUtility, auMessages[Below(4)], Random(), Random());
    }

    // A registered host that goes away leaves a dead handle behind in the band.
    int ReplaceHostWindow()
    {
        DestroyWindow(m_hwndHost);
        m_hwndDead = m_hwndHost;
        m_hwndHost = CreateHostWindow();
        return 0;
    }

    std::mt19937 m_random;
    HWND m_hwndUtility;
    BandAnswers m_expected;
    HWND m_hwndBand;
    HWND m_hwndHost;
    HWND m_hwndForeign;
    HWND m_hwndDead;
};
}

int main(int argc, char** argv)
{
    if (argc != 5)
        return HOSTILE_FAULT_USAGE;
    const DWORD dwBandProcessId = strtoul(argv[1], nullptr, 10);
    const unsigned nSeed = strtoul(argv[2], nullptr, 10);
    const long cMessages = strtol(argv[3], nullptr, 10);
    const DWORD dwDeadline = GetTickCount() + 1000 * strtoul(argv[4], nullptr, 10);

    g_hwndUtility = FindUtilityWindowOf(dwBandProcessId);
    if (!g_hwndUtility)
        return HOSTILE_FAULT_NO_BAND;
    CHostileHost host(g_hwndUtility, nSeed);
    long cSent = host.RegisterSecondHostWhileFirstHangs();
    while (cSent < cMessages || static_cast<LONG>(GetTickCount() - dwDeadline) < 0)
        cSent += host.Act();
    host.AskAndCheck();
    return static_cast<int>(g_dwFaults);
}
