// The module record and allocator compiled into this program, so that the heaps can be set up
// with any count and with heap creation that fails.
#include <gtest/gtest.h>
#include <cstring>

#include "CServerModule.h"
#include "ClassEntry.h"

// A library without classes: these tests drive the record and the allocator alone.
const ClassEntry ClassTable[] = {{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};

namespace
{
HANDLE CreateGrowableHeap() { return HeapCreate(0, 0, 0); }
HANDLE FailToCreateHeap() { return nullptr; }
int s_cHeapsLeft;
HANDLE CreateUntilExhausted() { return s_cHeapsLeft-- > 0 ? HeapCreate(0, 0, 0) : nullptr; }
// Too small for a table of 65536 heap handles.
HANDLE CreateSmallFixedHeap() { return HeapCreate(0, 0, 64 * 1024); }

BYTE* HeaderOf(void* pv) { return static_cast<BYTE*>(pv) - 8; }
HANDLE HeapNamedBy(void* pv) { return *reinterpret_cast<HANDLE*>(HeaderOf(pv)); }

int BusyBlocks(HANDLE hHeap)
{
    int cBusy = 0;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(hHeap, &entry))
        cBusy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? 1 : 0;
    return cBusy;
}

char s_szCleanupOrder[8];
void RecordCleanup(void* pArg) { strcat(s_szCleanupOrder, static_cast<const char*>(pArg)); }

class ModuleHeaps : public ::testing::Test
{
protected:
    void TearDown() override { g_module.DestroyHeaps(); }

    // Without extra heaps, blocks come straight from the one heap, with no header.
    static void ExpectPlainBlocksFrom(HANDLE hHeap)
    {
        EXPECT_EQ(g_module.m_hHeap, hHeap);
        EXPECT_EQ(g_module.m_phHeaps, nullptr);
        EXPECT_EQ(g_module.m_dwHeapMask, 0u);
        void* pv = ModuleRealloc(ModuleAlloc(24), 4000);
        ASSERT_NE(pv, nullptr);
        EXPECT_TRUE(HeapValidate(hHeap, 0, pv));
        ModuleFree(pv);
    }
};
}

TEST_F(ModuleHeaps, BlocksRotateOverTheExtraHeapsAndStayInTheHeapTheirHeaderNames)
{
    g_module.CreateHeaps(4, CreateGrowableHeap);
    ASSERT_NE(g_module.m_phHeaps, nullptr);
    EXPECT_EQ(g_module.m_dwHeapMask, 3u);
    HANDLE* phHeaps = g_module.m_phHeaps;
    int acBusyBefore[4];
    for (int i = 0; i < 4; ++i)
        acBusyBefore[i] = BusyBlocks(phHeaps[i]);

    void* apv[6];
    for (int i = 0; i < 6; ++i) {
        apv[i] = ModuleAlloc(16);
        ASSERT_NE(apv[i], nullptr);
        EXPECT_EQ(HeapNamedBy(apv[i]), phHeaps[i % 4]) << "block " << i;
        EXPECT_TRUE(HeapValidate(phHeaps[i % 4], 0, HeaderOf(apv[i])));
    }
    memset(apv[1], 0x5A, 16);
    apv[1] = ModuleRealloc(apv[1], 200000);
    ASSERT_NE(apv[1], nullptr);
    EXPECT_EQ(HeapNamedBy(apv[1]), phHeaps[1]);
    EXPECT_TRUE(HeapValidate(phHeaps[1], 0, HeaderOf(apv[1])));
    EXPECT_EQ(static_cast<BYTE*>(apv[1])[15], 0x5A);

    for (void* pv : apv)
        ModuleFree(pv);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(BusyBlocks(phHeaps[i]), acBusyBefore[i]) << "heap " << i;
}

TEST_F(ModuleHeaps, SizesWithNoRoomForTheHeaderAreRefused)
{
    g_module.CreateHeaps(4, CreateGrowableHeap);
    EXPECT_EQ(ModuleAlloc(SIZE_MAX - 4), nullptr);
    void* pv = ModuleAlloc(8);
    EXPECT_EQ(ModuleRealloc(pv, SIZE_MAX - 4), nullptr);
    EXPECT_TRUE(HeapValidate(HeapNamedBy(pv), 0, HeaderOf(pv)));
    ModuleFree(pv);
}

TEST_F(ModuleHeaps, FailedHeapSetUpFallsBackToAHeapThatWorks)
{
    g_module.CreateHeaps(4, FailToCreateHeap);
    ExpectPlainBlocksFrom(GetProcessHeap());
    g_module.DestroyHeaps();
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));

    s_cHeapsLeft = 3;
    g_module.CreateHeaps(4, CreateUntilExhausted);
    ASSERT_NE(g_module.m_hHeap, GetProcessHeap());
    ExpectPlainBlocksFrom(g_module.m_hHeap);
    g_module.DestroyHeaps();

    g_module.CreateHeaps(1u << 16, CreateSmallFixedHeap);
    ExpectPlainBlocksFrom(g_module.m_hHeap);
}

TEST(ModuleRecord, AttachSetsUpTheModuleAndDetachRunsTheCleanupListNewestFirst)
{
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    g_module.Attach(hInstance);
    EXPECT_EQ(g_hInstance, hInstance);
    EXPECT_EQ(g_module.GetLockCount(), 0);
    EXPECT_NE(g_module.m_hHeap, nullptr);
    EXPECT_NE(g_module.m_hHeap, GetProcessHeap());
    // This platform reports NT 5.0 or later, which needs no extra heaps.
    EXPECT_EQ(g_module.m_phHeaps, nullptr);

    g_module.AddCleanup(RecordCleanup, const_cast<char*>("A"));
    g_module.AddCleanup(RecordCleanup, const_cast<char*>("B"));
    EXPECT_STREQ(s_szCleanupOrder, "");
    g_module.Detach();
    EXPECT_STREQ(s_szCleanupOrder, "BA");
    EXPECT_EQ(g_module.m_hHeap, nullptr);
}
