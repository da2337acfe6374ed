// The desk band under long use and under a hostile host: it must keep answering correctly,
// never crash, and hold no more heap blocks or GDI objects after many cycles than before.
#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "CHostProcess.h"
#include "CTestSite.h"
#include "CTestTaskbar.h"
#include "DeskbandProtocol.h"
#include "HostileHostFaults.h"
#include "TestShell.h"

namespace
{
const COLORREF kcrBkgnd = RGB(0x12, 0x34, 0x56);

// Live blocks in the module allocator's heaps.
int LiveVeltrixHeapBlocks()
{
    int cBusy = 0;
    for (HANDLE hHeap : Veltrix().heaps) {
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(hHeap, &entry))
            cBusy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? 1 : 0;
    }
    return cBusy;
}

// The process's GDI objects. Wine leaves GetGuiResources unimplemented (it answers 0); its
// GDI handles carry their table index in the low word and are also accepted by that alone,
// so there the live objects are counted by index.
int GdiObjectCount()
{
    if (const DWORD cObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return static_cast<int>(cObjects);
    int cObjects = 0;
    for (ULONG_PTR uIndex = 1; uIndex < 0x10000; ++uIndex)
        cObjects += GetObjectType(reinterpret_cast<HGDIOBJ>(uIndex)) != 0 ? 1 : 0;
    return cObjects;
}

// Seconds for the stress run (scripts/run-stress), 0 for the short run of `make test`.
unsigned StressSeconds()
{
    const char* pszSeconds = getenv("STRESS_SECONDS");
    return pszSeconds ? strtoul(pszSeconds, nullptr, 10) : 0;
}

// Runs a helper program of this folder while this thread goes on handling the band's
// messages; returns its exit code.
DWORD RunPumping(const std::string& strArguments, DWORD dwTimeoutMs)
{
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    std::string strCommand(szExe);
    strCommand = "\"" + strCommand.substr(0, strCommand.find_last_of('\\') + 1) + strArguments;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return ~0u;
    const DWORD dwDeadline = GetTickCount() + dwTimeoutMs;
    while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, dwDeadline - GetTickCount(), QS_ALLINPUT) == WAIT_OBJECT_0 + 1
           && static_cast<LONG>(GetTickCount() - dwDeadline) < 0)
        PumpMessages();
    DWORD dwExitCode = STILL_ACTIVE;
    GetExitCodeProcess(pi.hProcess, &dwExitCode);
    if (dwExitCode == STILL_ACTIVE)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return dwExitCode;
}

// A band sited on a test taskbar, told its view mode and colour as the shell tells it.
class SitedBand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pBand = CreateBand();
        m_pWithSite = QueryAs<IObjectWithSite>(m_pBand, IID_IObjectWithSite);
        ASSERT_TRUE(m_pWithSite);
        ASSERT_EQ(m_pWithSite->SetSite(m_site.Unknown()), S_OK);
        DESKBANDINFO dbi = {};
        dbi.dwMask = DBIM_BKCOLOR;
        dbi.crBkgnd = kcrBkgnd;
        m_pBand->GetBandInfo(1, DBIF_VIEWMODE_VERTICAL, &dbi);
        m_pBand->ShowDW(TRUE);
        m_hwndUtility = UtilityWindow();
        m_pBand->GetWindow(&m_hwndBand);
        ASSERT_TRUE(IsWindow(m_hwndUtility) && IsWindow(m_hwndBand));
    }
    void TearDown() override
    {
        if (m_pBand)
            m_pBand->CloseDW(0);
        if (m_pWithSite) {
            m_pWithSite->SetSite(nullptr);
            m_pWithSite->Release();
        }
        if (m_pBand)
            m_pBand->Release();
        EXPECT_EQ(m_site.m_cRef, 0u);
    }
    void Resize(int cx, int cy)
    {
        SetWindowPos(m_hwndBand, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages();
    }
    // The band answers its three questions, and a proper host registering now gets one
    // valid snapshot of the band's size and background.
    void ExpectBandAnswersAndSendsOneGoodSnapshot(int cx, int cy)
    {
        EXPECT_EQ(SendMessageA(m_hwndUtility, WM_DESKBAND_GETBANDWINDOW, 0, 0), reinterpret_cast<LRESULT>(m_hwndBand));
        EXPECT_EQ(SendMessageA(m_hwndUtility, WM_DESKBAND_GETVIEWMODE, 0, 0), DBIF_VIEWMODE_VERTICAL);
        EXPECT_EQ(SendMessageA(m_hwndUtility, WM_DESKBAND_GETBKCOLOR, 0, 0), static_cast<LRESULT>(kcrBkgnd));
        CHostProcess host;
        ASSERT_EQ(host.Register(), m_hwndUtility);
        const std::vector<Snapshot> snapshots = host.Report();
        ASSERT_EQ(snapshots.size(), 1u);
        const Snapshot& snapshot = snapshots[0];
        DESKBANDSNAPSHOTHEADER header = {};
        ASSERT_TRUE(DeskbandSnapshotIsValid(snapshot.dwData, snapshot.words.data(), snapshot.cbData, &header));
        EXPECT_TRUE(header.nWidth == DWORD(cx) && header.nHeight == DWORD(cy));
        EXPECT_EQ(snapshot.words[12 + cx * cy - 1] & 0xFFFFFF, AsDibPixel(PatternAt(cx - 1, cy - 1)));
    }

    CTestTaskbar m_taskbar;
    CTestSite m_site{m_taskbar.m_hwnd};
    IDeskBand* m_pBand = nullptr;
    IObjectWithSite* m_pWithSite = nullptr;
    HWND m_hwndUtility = nullptr;
    HWND m_hwndBand = nullptr;
};
}

// Thousands of random messages in `make test`; STRESS_SECONDS of them, from a new seed each
// time, in `make stress`.
TEST_F(SitedBand, HostileHostStress)
{
    const unsigned nSeconds = StressSeconds();
    // HOSTILE_SEED repeats the run of a seed that failed.
    const char* pszSeed = getenv("HOSTILE_SEED");
    const unsigned nSeed = pszSeed ? strtoul(pszSeed, nullptr, 10) : nSeconds ? GetTickCount() : 9928;
    const std::string strArguments = "deskband_hostile_host.exe\" " + std::to_string(GetCurrentProcessId()) + " " +
                                     std::to_string(nSeed) + " 3000 " + std::to_string(nSeconds);
    const DWORD dwFaults = RunPumping(strArguments, (nSeconds + 60) * 1000);
    EXPECT_EQ(dwFaults, 0u) << "seed " << nSeed << ", faults as in HostileHostFaults.h";

    Resize(90, 30);
    ExpectBandAnswersAndSendsOneGoodSnapshot(90, 30);
}

// 2,000 resize-and-snapshot cycles in `make test`, 10,000 in `make stress`.
TEST_F(SitedBand, ResizeStressLeavesNoHeapBlocksOrGdiObjects)
{
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    const auto resizeAndCount = [&](int cCycles) {
        for (int i = 0; i < cCycles; ++i)
            Resize(40 + i % 2, 20);
        const std::vector<Snapshot> snapshots = host.Report();
        for (const Snapshot& snapshot : snapshots)
            EXPECT_TRUE(DeskbandSnapshotIsValid(snapshot.dwData, snapshot.words.data(), snapshot.cbData, nullptr));
        return static_cast<int>(snapshots.size());
    };
    resizeAndCount(20);
    const int cBlocksBefore = LiveVeltrixHeapBlocks();
    const int cGdiBefore = GdiObjectCount();

    const int cCycles = StressSeconds() ? 10000 : 2000;
    int cSnapshots = 0;
    for (int i = 0; i < cCycles / 250; ++i)
        cSnapshots += resizeAndCount(250);
    EXPECT_EQ(cSnapshots, cCycles);
    EXPECT_EQ(LiveVeltrixHeapBlocks(), cBlocksBefore);
    EXPECT_EQ(GdiObjectCount(), cGdiBefore);
}
