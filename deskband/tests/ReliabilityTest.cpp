// The desk band under long use and under a hostile host: it must keep answering correctly,
// never crash, and hold no more heap blocks or GDI objects after many cycles than before.
#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "CChildProcess.h"
#include "CHostProcess.h"
#include "CSitedBandTest.h"
#include "HostileHostFaults.h"

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

// A sited band, told its view mode and colour as the shell tells it.
class SitedBand : public CSitedBandTest
{
protected:
    void SetUp() override
    {
        CSitedBandTest::SetUp();
        DESKBANDINFO dbi = {};
        dbi.dwMask = DBIM_BKCOLOR;
        dbi.crBkgnd = kcrBkgnd;
        m_pBand->GetBandInfo(1, DBIF_VIEWMODE_VERTICAL, &dbi);
        m_pBand->ShowDW(TRUE);
    }
    // The band answers its three questions, and a proper host registering now gets one good
    // snapshot of the band's size and background.
    void ExpectBandAnswersAndSendsOneGoodSnapshot(int cx, int cy)
    {
        EXPECT_EQ(Ask(WM_DESKBAND_GETBANDWINDOW), reinterpret_cast<LRESULT>(m_hwndBand));
        EXPECT_EQ(Ask(WM_DESKBAND_GETVIEWMODE), DBIF_VIEWMODE_VERTICAL);
        EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), static_cast<LRESULT>(kcrBkgnd));
        CHostProcess host;
        ASSERT_EQ(host.Register(), m_hwndUtility);
        ExpectOneSnapshot(host, cx, cy, DBIF_VIEWMODE_VERTICAL);
    }
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
    CChildProcess hostile("deskband_hostile_host.exe", std::to_string(GetCurrentProcessId()) + " " +
                                                           std::to_string(nSeed) + " 3000 " + std::to_string(nSeconds));
    EXPECT_EQ(hostile.ExitCode((nSeconds + 60) * 1000), 0u) << "seed " << nSeed << ", faults as in HostileHostFaults.h";

    ASSERT_TRUE(IsSited());
    ResizeBand(0, 0, 90, 30);
    ExpectBandAnswersAndSendsOneGoodSnapshot(90, 30);
}

// 2,000 resize-and-snapshot cycles in `make test`, 10,000 in `make stress`.
TEST_F(SitedBand, ResizeStressLeavesNoHeapBlocksOrGdiObjects)
{
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    const auto resizeAndCount = [&](int cCycles) {
        for (int i = 0; i < cCycles; ++i)
            ResizeBand(0, 0, 40 + i % 2, 20);
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
