// What real hosts and the real platform ask of Quillon beyond its behaviour: COM apartments left
// as the host had them, no exception and no block lost when memory runs out, and the threading
// contract of OnVolumeChanged. Wine neither notifies nor enforces the platform's rules for its
// callbacks, so the simulated service shows where the library unregisters, releases and waits.
#include "QuillonTest.h"

#include <atomic>
#include <thread>

#include "CScopedHandle.h"

namespace
{

// Quillon.dll's heap as the tests see it: its imports of the C runtime's malloc and free (MinGW
// links it with msvcrt.dll) are pointed here, to fail its allocations on one thread after a
// number of them, to count its blocks, and to keep the blocks it frees, poisoned, so that a use
// after free reads garbage at once.
std::atomic<DWORD> g_dwFailingThread(0);
std::atomic<int> g_cAllowed(0);
std::atomic<LONG_PTR> g_cBlocks(0);
std::atomic<bool> g_bPoison(false);
void*(__cdecl* g_pfnMalloc)(size_t) = nullptr;
void(__cdecl* g_pfnFree)(void*) = nullptr;

void* __cdecl LibraryMalloc(size_t cb)
{
    void* pv = g_dwFailingThread == GetCurrentThreadId() && g_cAllowed-- <= 0 ? nullptr : g_pfnMalloc(cb);
    g_cBlocks += pv != nullptr;
    return pv;
}

void __cdecl LibraryFree(void* pv)
{
    g_cBlocks -= pv != nullptr;
    if (pv && g_bPoison)
        memset(pv, 0xDD, _msize(pv));
    else
        g_pfnFree(pv);
}

// Points the library's import address table entry that holds pfn at pfnHook.
template <class F> bool Route(F pfn, F pfnHook)
{
    BYTE* pbBase = reinterpret_cast<BYTE*>(GetModuleHandleA("Quillon.dll"));
    const IMAGE_NT_HEADERS* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pbBase + PIMAGE_DOS_HEADER(pbBase)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& iat = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    F* pEnd = reinterpret_cast<F*>(pbBase + iat.VirtualAddress + iat.Size);
    F* pSlot = std::find(reinterpret_cast<F*>(pbBase + iat.VirtualAddress), pEnd, pfn);
    DWORD dwProtect;
    return pSlot != pEnd && VirtualProtect(pSlot, sizeof pfn, PAGE_READWRITE, &dwProtect) && (*pSlot = pfnHook);
}

bool HookTheLibrarysHeap()
{
    static const bool s_bHooked = [] {
        HMODULE hCrt = GetModuleHandleA("msvcrt.dll");
        g_pfnMalloc = reinterpret_cast<decltype(g_pfnMalloc)>(GetProcAddress(hCrt, "malloc"));
        g_pfnFree = reinterpret_cast<decltype(g_pfnFree)>(GetProcAddress(hCrt, "free"));
        return Route(g_pfnMalloc, &LibraryMalloc) && Route(g_pfnFree, &LibraryFree);
    }();
    return s_bHooked;
}

// The constructor's COM count goes back on its own thread only: a thread outside COM is in an
// apartment while the object lives and out of COM after it; one in an apartment already keeps
// its own count only; one in the multithreaded apartment keeps it, also when it destroys an
// object made on another thread.
TEST_F(QuillonTest, AnObjectGivesBackOnItsThreadWhatItsConstructorAdded)
{
    CQuillon* pMadeHere = new CQuillon;
    std::thread([&] {
        {
            CQuillon quillon;
            EXPECT_EQ(Apartment(), APTTYPE_STA);
            (void)m_service.RegisterOnThisThread();
            EXPECT_TRUE(quillon.Initialize(eFindDefault, nullptr) && quillon.Initialize(eFindDefault, nullptr));
        }
        EXPECT_EQ(Apartment(), -1);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        delete new CQuillon;
        CoUninitialize();
        EXPECT_EQ(Apartment(), -1);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        delete new CQuillon;
        delete pMadeHere;
        EXPECT_EQ(Apartment(), APTTYPE_MTA);
        CoUninitialize();
    }).join();
}

// Without memory in the library nothing throws: new gives null, Quillon_Create says so, an object
// without an implementation (and its copy) fails every call and leaves COM alone, and an
// Initialize that cannot make its callback holds nothing. No block is lost on the way.
TEST_F(QuillonTest, WithoutMemoryNothingThrowsAndEveryCallFails)
{
    ASSERT_TRUE(HookTheLibrarysHeap());
    std::thread([&] {
        const LONG_PTR cBlocks = g_cBlocks;
        g_dwFailingThread = GetCurrentThreadId();
        EXPECT_EQ(new CQuillon, nullptr);
        EXPECT_EQ(new CListener[2], nullptr);
        g_cAllowed = 1;
        QUILLON_HANDLE hQuillon = reinterpret_cast<QUILLON_HANDLE>(1);
        EXPECT_EQ(Quillon_Create(&hQuillon), E_OUTOFMEMORY);
        EXPECT_EQ(hQuillon, nullptr);
        {
            CQuillon quillon;
            CQuillon copy(quillon);
            g_dwFailingThread = 0;
            EXPECT_EQ(Apartment(), -1);
            for (CQuillon* pQuillon : {&quillon, &copy}) {
                float fLevel;
                bool bMuted;
                pQuillon->Test(1);
                EXPECT_FALSE(pQuillon->Initialize(eFindDefault, nullptr) || pQuillon->InitializeFollowingDefault() ||
                             pQuillon->SetVolume(0.5f, true) || pQuillon->GetVolume(&fLevel, true) ||
                             pQuillon->SetMute(true) || pQuillon->GetMute(&bMuted));
            }
        }
        {
            CQuillon quillon;
            (void)m_service.RegisterOnThisThread();
            g_cAllowed = 1;
            g_dwFailingThread = GetCurrentThreadId();
            EXPECT_FALSE(quillon.Initialize(eFindDefault, nullptr));
            g_dwFailingThread = 0;
            EXPECT_EQ(m_service.Live(), 0);
        }
        EXPECT_EQ(g_cBlocks, cBlocks);
    }).join();
}

struct CSelfDestroying : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override { delete this; }
};

struct CReassigning : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override { CQuillon::operator=(*m_pSource); }
    const CQuillon* m_pSource = nullptr;
};

// Destroyed or assigned over inside its own OnVolumeChanged, an object lets go at once: the
// unregistrations (the first held up until the notification thread is seen free) and the final
// releases come on another thread, which the platform requires of its notification thread.
TEST_F(QuillonTest, InsideItsOwnDeliveryAnObjectLetsGoWithoutWaiting)
{
    const int iOther = m_service.AddEndpoint(L"Other");
    CQuillon source;
    ASSERT_TRUE(source.Initialize(eFindByName, "other"));
    CReassigning* pReassigning = new CReassigning;
    pReassigning->m_pSource = &source;
    ASSERT_TRUE(pReassigning->Initialize(eFindDefault, nullptr));
    ASSERT_TRUE((new CSelfDestroying)->InitializeFollowingDefault());
    CScopedHandle hFree(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    m_service.OnNext("UnregisterControlChangeNotify", [&] { return WaitForSingleObject(hFree.Get(), 10000), S_OK; });
    m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
    EXPECT_TRUE(m_service.Flush(5000));
    SetEvent(hFree.Get());
    EXPECT_TRUE(
        WaitUntil([&] { return m_service.Registrations() == std::vector<int>{iOther} && m_service.Live() == 3; }));
    for (const char* pszCall : {"UnregisterControlChangeNotify", "UnregisterEndpointNotificationCallback", "Release"})
        EXPECT_NE(m_service.Call(pszCall).dwThread, m_service.NotificationThread()) << pszCall;
    EXPECT_TRUE(pReassigning->SetVolume(0.9f, true) && Level(iOther) == 0.9f);
    delete pReassigning;
}

// A delivery keeps its callback alive to its end by a reference of its own. Here the service lets
// go of the callback at once, the object destroys itself in OnVolumeChanged and waits there for
// the work it handed on, and the library's freed blocks are poisoned: a callback freed meanwhile
// crashes its delivery.
struct CWaitingSelfDestroying : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override
    {
        CSimAudioService* pService = m_pService;
        delete this;
        EXPECT_TRUE(WaitUntil([&] { return pService->Live() == 0; }));
    }
    CSimAudioService* m_pService = nullptr;
};

TEST_F(QuillonTest, ADeliveryKeepsItsCallbackAliveToItsEnd)
{
    ASSERT_TRUE(HookTheLibrarysHeap());
    m_service.UnregisterWithoutWaiting();
    CWaitingSelfDestroying* pObject = new CWaitingSelfDestroying;
    pObject->m_pService = &m_service;
    ASSERT_TRUE(pObject->Initialize(eFindDefault, nullptr));
    g_bPoison = true;
    m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
    EXPECT_TRUE(m_service.Flush());
    EXPECT_TRUE(WaitUntil([&] { return m_service.Live() == 0; }));
}

// The process's open handles. Where the platform leaves the count unimplemented (Wine answers
// 0), the handle values that it still accepts are counted (small multiples of four).
DWORD OpenHandles()
{
    DWORD cHandles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &cHandles) && cHandles != 0)
        return cHandles;
    DWORD dwFlags;
    for (ULONG_PTR uHandle = 4; uHandle < 0x10000; uHandle += 4)
        cHandles += GetHandleInformation(reinterpret_cast<HANDLE>(uHandle), &dwFlags) ? 1 : 0;
    return cHandles;
}

CScopedHandle g_hEntered(CreateEventA(nullptr, FALSE, FALSE, nullptr));
std::atomic<bool> g_bInside(false);
std::atomic<bool> g_bFreedInside(false);

struct CSlowListener : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override
    {
        g_bInside = true;
        SetEvent(g_hEntered.Get());
        Sleep(50);
        g_bInside = false;
    }
    static void operator delete(void* pv)
    {
        g_bFreedInside = g_bFreedInside || g_bInside;
        CQuillon::operator delete(pv);
    }
};

// Destroyed on a host thread, an object first waits for its OnVolumeChanged under way (the
// service lets go of the callback at once: the library itself must wait), and so often that a
// handle left behind by each wait shows above the few that Wine opens for itself meanwhile.
TEST_F(QuillonTest, DestructionOnAHostThreadWaitsForADeliveryUnderWay)
{
    m_service.UnregisterWithoutWaiting();
    DWORD cHandles = 0;
    for (int iRound = 0; iRound < 10; ++iRound) {
        cHandles = iRound == 1 ? OpenHandles() : cHandles;
        CSlowListener* pListener = new CSlowListener;
        ASSERT_TRUE(pListener->Initialize(eFindDefault, nullptr));
        m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
        ASSERT_EQ(WaitForSingleObject(g_hEntered.Get(), 5000), WAIT_OBJECT_0);
        delete pListener;
    }
    EXPECT_FALSE(g_bFreedInside);
    EXPECT_LT(OpenHandles(), cHandles + 4);
}

}
