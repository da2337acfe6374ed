// A hostile host, run as a second process: it registers a second host while a first one hangs,
// asks again from inside its snapshot handler, and then bombards a band's utility and band
// windows with random protocol messages, dead and foreign window handles, junk copy-data
// blocks, window position storms, theme changes and window-lifetime messages, checking the
// band's answers on the way and at the end.
//
// Usage: deskband_hostile_host PID SEED MESSAGES SECONDS. It sends at least MESSAGES random
// messages and goes on until SECONDS have passed. The exit code is 0 or a set of eFault bits.
#include <windows.h>

#include <stdlib.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "TestHostCommands.h"

namespace
{
enum eFault
{
    eFaultUsage = 0x01,
    eFaultNoBand = 0x02,          // no utility window in the band's process
    eFaultNoAnswer = 0x04,        // a message was not answered in time
    eFaultWrongAnswer = 0x08,     // 9925 to 9927 answered differently, or the band window went
    eFaultNested = 0x20,          // a snapshot arrived while another was handled
    eFaultLostHost = 0x40,        // a host registered while another hung got nothing
    eFaultNoLaterSnapshot = 0x80, // one asked for from inside the handler never came
};

const UINT kuSendTimeoutMs = 10000;

std::atomic<int> g_nFaults;
HWND g_hwndUtility;
// Set by an act: the next snapshot's handler registers its window again before returning.
bool g_fRegisterFromHandler;
thread_local bool t_fInSnapshot;
thread_local int t_cSnapshots;

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != WM_COPYDATA)
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    if (t_fInSnapshot)
        g_nFaults |= eFaultNested;
    ++t_cSnapshots;
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

// Handles this thread's messages until its windows have had cSnapshots in all, or the time is up.
bool WaitForSnapshots(int cSnapshots)
{
    const DWORD dwStart = GetTickCount();
    while (t_cSnapshots < cSnapshots && GetTickCount() - dwStart < kuSendTimeoutMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        PumpMessages();
    }
    return t_cSnapshots >= cSnapshots;
}

// Sends one message. A failed send sets an error (a timeout, a window that is gone); Wine also
// answers some sends that went through with 0, but sets no error then.
int Send(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam, DWORD_PTR* pdwResult = nullptr)
{
    DWORD_PTR dwIgnored = 0;
    SetLastError(ERROR_SUCCESS);
    if (!SendMessageTimeoutA(hwnd, uMsg, wParam, lParam, SMTO_NORMAL, kuSendTimeoutMs,
                             pdwResult ? pdwResult : &dwIgnored) &&
        GetLastError() != ERROR_SUCCESS)
        g_nFaults |= eFaultNoAnswer;
    return 1;
}

// The host window of a thread that stops handling messages once something is sent to it keeps
// the band waiting; a second host on a thread of its own registers meanwhile and must get its
// snapshot once the band has given up on the first.
void RegisterSecondHostWhileFirstHangs()
{
    const HANDLE hWaitedOn = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> hwndHanging(nullptr);
    std::thread hanging([&] {
        const HWND hwnd = CreateHostWindow();
        hwndHanging = hwnd;
        for (DWORD dwStart = GetTickCount();
             !(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && GetTickCount() - dwStart < kuSendTimeoutMs;)
            Sleep(1);
        SetEvent(hWaitedOn);
        Sleep(3000);
        DestroyWindow(hwnd);
    });
    std::thread second([&] {
        const HWND hwnd = CreateHostWindow();
        WaitForSingleObject(hWaitedOn, kuSendTimeoutMs);
        Send(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwnd));
        if (!WaitForSnapshots(1))
            g_nFaults |= eFaultLostHost;
        DestroyWindow(hwnd);
    });
    while (!hwndHanging)
        Sleep(1);
    Send(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwndHanging.load()));
    hanging.join();
    second.join();
    CloseHandle(hWaitedOn);
}

class CHostileHost
{
public:
    CHostileHost(unsigned nSeed) : m_random(nSeed), m_expected(Answers())
    {
        m_hwndBand = reinterpret_cast<HWND>(m_expected[0]);
        m_hwndForeign = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        m_hwndDead = CreateHostWindow();
        DestroyWindow(m_hwndDead);
    }
    ~CHostileHost()
    {
        DestroyWindow(m_hwndHost);
        DestroyWindow(m_hwndForeign);
    }

    // Registers from inside the snapshot handler: that snapshot is sent once the handler has
    // returned, never nested inside it.
    void RegisterFromTheHandler()
    {
        const int cBefore = t_cSnapshots;
        g_fRegisterFromHandler = true;
        Send(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(m_hwndHost));
        if (!WaitForSnapshots(cBefore + 2))
            g_nFaults |= eFaultNoLaterSnapshot;
    }

    // One random act; returns the number of messages it sent.
    int Act()
    {
        const LPARAM lHost = reinterpret_cast<LPARAM>(m_hwndHost);
        switch (Below(10)) {
        case 0:
            return AskAndCheck();
        case 1:
            return Send(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, Random(), reinterpret_cast<LPARAM>(AnyWindow()));
        case 2:
            return SendJunkCopyData();
        case 3:
            return WindowPosStorm();
        case 4:
            return Send(g_hwndUtility, s_auThemeMessages[Below(4)], Random(), Random());
        case 5:
            return Send(AnyBandWindow(), WM_USER + Below(0x10000 - WM_USER), Random(), Random());
        case 6:
            return Send(m_hwndBand, Below(2) ? WM_ERASEBKGND : WM_DESKBAND_REFRESH, Random(), Random());
        case 7:
            return LifetimeMessage();
        case 8:
            g_fRegisterFromHandler = true;
            return Send(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, lHost);
        default: // a registered host that goes away leaves a dead handle behind in the band
            DestroyWindow(m_hwndHost);
            m_hwndDead = m_hwndHost;
            m_hwndHost = CreateHostWindow();
            return 0;
        }
    }

    // The band's three answers are still the first ones, and its band window still exists.
    int AskAndCheck()
    {
        if (Answers() != m_expected || !IsWindow(m_hwndBand))
            g_nFaults |= eFaultWrongAnswer;
        return 3;
    }

private:
    static const UINT s_auThemeMessages[4];

    unsigned Below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(m_random); }
    LPARAM Random() { return static_cast<LPARAM>(m_random()); }

    std::array<DWORD_PTR, 3> Answers()
    {
        std::array<DWORD_PTR, 3> answers = {};
        for (UINT i = 0; i < answers.size(); ++i)
            Send(g_hwndUtility, WM_DESKBAND_GETBANDWINDOW + i, Random(), Random(), &answers[i]);
        return answers;
    }

    HWND AnyBandWindow() { return Below(2) ? g_hwndUtility : m_hwndBand; }

    // Live and dead, ours and the band's own, the desktop, and numbers that are no window.
    // (Any other live window could belong to a test running beside this one.)
    HWND AnyWindow()
    {
        const HWND ahwnd[] = {nullptr,
                              m_hwndHost,
                              m_hwndDead,
                              m_hwndForeign,
                              GetDesktopWindow(),
                              g_hwndUtility,
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

    // Random bytes, half of them behind a snapshot header whose sizes do not match the block.
    int SendJunkCopyData()
    {
        std::vector<BYTE> junk(Below(4) ? Below(256) : Below(64 * 1024));
        for (BYTE& b : junk)
            b = static_cast<BYTE>(m_random());
        const DWORD adwHeader[] = {DESKBAND_SNAPSHOT_HEADER_WORD, static_cast<DWORD>(Random()),
                                   static_cast<DWORD>(Random())};
        if (junk.size() >= sizeof(adwHeader) && Below(2))
            memcpy(junk.data(), adwHeader, sizeof(adwHeader));
        COPYDATASTRUCT cds = {Below(2) ? DESKBAND_SNAPSHOT_ID : static_cast<ULONG_PTR>(Random()),
                              static_cast<DWORD>(junk.size()), junk.empty() ? nullptr : junk.data()};
        return Send(AnyBandWindow(), WM_COPYDATA, reinterpret_cast<WPARAM>(AnyWindow()),
                    reinterpret_cast<LPARAM>(&cds));
    }

    // Mostly taskbar-like sizes, now and then empty or negative ones, and now and then an absurd
    // width: Wine clamps it to 32767, and its receiving side faults on copy-data blocks beyond
    // about a megabyte (which would only test Wine), so the band is kept a few pixels high then.
    int Extent(int nUsual)
    {
        const unsigned n = Below(16);
        return n == 0 ? 0 : n == 1 ? -static_cast<int>(Below(100)) - 1 : static_cast<int>(Below(nUsual)) + 1;
    }
    int WindowPosStorm()
    {
        const int cMessages = 1 + Below(20);
        for (int i = 0; i < cMessages; ++i) {
            const bool fAbsurd = Below(32) == 0;
            WINDOWPOS wp = {AnyWindow(),
                            AnyWindow(),
                            static_cast<int>(Below(50)),
                            static_cast<int>(Below(20)),
                            fAbsurd ? static_cast<int>(Random() | 0x8000) : Extent(400),
                            fAbsurd ? static_cast<int>(Below(8)) : Extent(80),
                            static_cast<UINT>(Random())};
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

    std::mt19937 m_random;
    std::array<DWORD_PTR, 3> m_expected;
    HWND m_hwndBand;
    HWND m_hwndHost = CreateHostWindow();
    HWND m_hwndForeign;
    HWND m_hwndDead;
};

const UINT CHostileHost::s_auThemeMessages[4] = {WM_THEMECHANGED, WM_SYSCOLORCHANGE, WM_DWMCOLORIZATIONCOLORCHANGED,
                                                 WM_DWMCOMPOSITIONCHANGED};
}

int main(int argc, char** argv)
{
    if (argc != 5)
        return eFaultUsage;
    g_hwndUtility = FindUtilityWindowOf(strtoul(argv[1], nullptr, 10));
    if (!g_hwndUtility)
        return eFaultNoBand;
    const long cMessages = strtol(argv[3], nullptr, 10);
    const DWORD dwDeadline = GetTickCount() + 1000 * strtoul(argv[4], nullptr, 10);
    RegisterSecondHostWhileFirstHangs();
    CHostileHost host(strtoul(argv[2], nullptr, 10));
    host.RegisterFromTheHandler();

    for (long cSent = 0; cSent < cMessages || static_cast<LONG>(GetTickCount() - dwDeadline) < 0;)
        cSent += host.Act();
    host.AskAndCheck();
    return g_nFaults;
}
