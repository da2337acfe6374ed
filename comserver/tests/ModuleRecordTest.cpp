// The module record and allocator compiled into this program, so that extra heaps can be set up
// (the platform here needs none) and a class table of the test's own be attached.
#include <gtest/gtest.h>
#include <cstring>
#include <atomic>
#include <thread>

#include "CServerModule.h"
#include "ClassEntry.h"

namespace
{
HANDLE CreateGrowableHeap()
{
    return HeapCreate(0, 0, 0);
}

// With extra heaps a block's header is as long as the platform's allocation alignment.
HANDLE HeapNamedBy(void* pv)
{
    return *reinterpret_cast<HANDLE*>(static_cast<BYTE*>(pv) - MEMORY_ALLOCATION_ALIGNMENT);
}

int BusyBlocks(HANDLE hHeap)
{
    int cBusy = 0;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(hHeap, &entry))
        cBusy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? 1 : 0;
    return cBusy;
}
}

TEST(ModuleHeaps, BlocksRotateOverTheExtraHeapsAndStayInTheHeapTheirHeaderNames)
{
    g_module.CreateHeaps(4, CreateGrowableHeap);
    ASSERT_NE(g_module.m_phHeaps, nullptr);
    EXPECT_EQ(g_module.m_dwHeapMask, 3u);
    HANDLE* phHeaps = g_module.m_phHeaps;
    int acBusyBefore[4];
    for (int i = 0; i < 4; ++i)
        acBusyBefore[i] = BusyBlocks(phHeaps[i]);

    void* apv[5];
    for (int i = 0; i < 5; ++i) {
        apv[i] = ModuleAlloc(16);
        ASSERT_NE(apv[i], nullptr);
        EXPECT_EQ(HeapNamedBy(apv[i]), phHeaps[i % 4]) << "block " << i;
        EXPECT_EQ(reinterpret_cast<UINT_PTR>(apv[i]) % MEMORY_ALLOCATION_ALIGNMENT, 0u) << "block " << i;
    }
    memset(apv[1], 0x5A, 16);
    apv[1] = ModuleRealloc(apv[1], 200000);
    ASSERT_NE(apv[1], nullptr);
    EXPECT_EQ(HeapNamedBy(apv[1]), phHeaps[1]);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(apv[1]) % MEMORY_ALLOCATION_ALIGNMENT, 0u);
    EXPECT_TRUE(HeapValidate(phHeaps[1], 0, static_cast<BYTE*>(apv[1]) - MEMORY_ALLOCATION_ALIGNMENT));
    EXPECT_EQ(static_cast<BYTE*>(apv[1])[15], 0x5A);
    // Sizes with no room left for the header are refused, and the block stays as it was.
    EXPECT_EQ(ModuleAlloc(SIZE_MAX - 4), nullptr);
    EXPECT_EQ(ModuleRealloc(apv[0], SIZE_MAX - 4), nullptr);

    for (void* pv : apv)
        ModuleFree(pv);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(BusyBlocks(phHeaps[i]), acBusyBefore[i]) << "heap " << i;
    g_module.DestroyHeaps();
}

namespace
{
// A class whose class object is made by a creator that holds until told, so that a second
// request for it arrives while the first is still making it.
const CLSID kClsidSlow = {0x5A0C1E55, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
HANDLE s_hCreating = CreateEventA(nullptr, TRUE, FALSE, nullptr);
HANDLE s_hMayFinish = CreateEventA(nullptr, TRUE, FALSE, nullptr);
LONG s_cCreated;

// Static: the test counts the objects made, not their references.
struct CSlowClassObject final : IUnknown
{
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = this, S_OK; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
} s_aSlowClassObjects[2];

HRESULT CreateSlowClassObject(PFNCREATEINSTANCE, REFIID, void** ppv)
{
    SetEvent(s_hCreating);
    WaitForSingleObject(s_hMayFinish, 10000);
    *ppv = &s_aSlowClassObjects[InterlockedIncrement(&s_cCreated) > 1];
    return S_OK;
}

void NoStartStop(bool) {}

const ClassEntry s_slowClass[] = {
    {&kClsidSlow, nullptr, CreateSlowClassObject, nullptr, nullptr, nullptr, nullptr, NoStartStop},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};
}

// The second request passes the unlocked look while the first is still making the object, then
// waits for the class-table lock: it must find the first one's object there and not make another.
TEST(ModuleRecord, TwoRequestsForAClassObjectMakeOneEvenWhileTheFirstIsMakingIt)
{
    g_module.Attach(GetModuleHandleA(nullptr), s_slowClass);
    IUnknown* apUnk[2] = {};
    std::thread first(
        [&] { (void)g_module.GetClassObject(kClsidSlow, IID_IUnknown, reinterpret_cast<void**>(&apUnk[0])); });
    ASSERT_EQ(WaitForSingleObject(s_hCreating, 10000), WAIT_OBJECT_0);
    std::atomic<bool> fSecondDone(false);
    std::thread second([&] {
        (void)g_module.GetClassObject(kClsidSlow, IID_IUnknown, reinterpret_cast<void**>(&apUnk[1]));
        fSecondDone = true;
    });
    // The second request cannot finish while the first holds the lock; give it time to get there.
    Sleep(200);
    EXPECT_FALSE(fSecondDone);
    SetEvent(s_hMayFinish);
    first.join();
    second.join();
    EXPECT_EQ(s_cCreated, 1);
    EXPECT_TRUE(apUnk[0] && apUnk[0] == apUnk[1]);
    g_module.Detach();
}
