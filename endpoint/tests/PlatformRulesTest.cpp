// What real hosts and the real platform ask of Quillon beyond its behaviour: COM apartments and
// the heap left as the host had them, nothing thrown or lost when memory runs out, and the
// threading contract of change notification. Wine neither notifies nor enforces the platform's
// rules for its callbacks (no waiting, unregistering or final releases in them), so the simulated
// service shows where the library waits, unregisters and releases.
#include "QuillonTest.h"

#include <atomic>
#include <thread>

#include "CScopedHandle.h"
#include "tests/ProcessCounts.h"

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
const HMODULE g_hCrt = GetModuleHandleA("msvcrt.dll");
void*(__cdecl* const g_pfnMalloc)(size_t) = reinterpret_cast<void*(__cdecl*)(size_t)>(GetProcAddress(g_hCrt, "malloc"));
void(__cdecl* const g_pfnFree)(void*) = reinterpret_cast<void(__cdecl*)(void*)>(GetProcAddress(g_hCrt, "free"));

void* __cdecl LibraryMalloc(size_t cb)
{
    void* pv = g_dwFailingThread == GetCurrentThreadId() && g_cAllowed-- <= 0 ? nullptr : g_pfnMalloc(cb);
    g_cBlocks += pv != nullptr;
    return pv;
}

void __cdecl LibraryFree(void* pv)
{
    g_cBlocks -= pv != nullptr;
    pv&& g_bPoison ? (void)memset(pv, 0xDD, _msize(pv)) : g_pfnFree(pv);
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

const bool g_bHooked = Route(g_pfnMalloc, &LibraryMalloc) && Route(g_pfnFree, &LibraryFree);

// The calling thread's own apartment (APTTYPE_STA on all but the process's first thread in one, or
// APTTYPE_MTA), or -1 when it is outside COM (such a thread reports the implicit MTA while another
// is in the MTA).
int Apartment()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return FAILED(CoGetApartmentType(&type, &qualifier)) || qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA ? -1 : type;
}

// Objects of the class, plain and derived, single and in arrays, are made and freed in the
// library, whatever the host's global new, and without memory there nothing throws: new gives null,
// Quillon_Create says so, an object without an implementation (and its copy) fails every call and
// leaves COM alone, and an Initialize that cannot make its binding holds nothing; no block is
// lost. The constructor's COM count goes back on its own thread only: a thread outside COM is in
// an apartment while the object lives and out of COM after it; one in an apartment already keeps
// its own count only; one in the multithreaded apartment keeps it, also when it destroys an
// object made on another thread.
TEST_F(QuillonTest, ComAndMemoryStayAsTheHostHadThem)
{
    ASSERT_TRUE(g_bHooked);
    CQuillon* pMadeHere = new CQuillon;
    std::thread([&] {
        const LONG_PTR cBlocks = g_cBlocks;
        CListener* rgListeners = new CListener[2];
        CQuillon* pQuillon = new (std::nothrow) CQuillon;
        EXPECT_EQ(g_cBlocks, cBlocks + 5); // the array, the object and three implementations
        delete pQuillon;
        delete[] rgListeners;
        g_dwFailingThread = GetCurrentThreadId();
        EXPECT_EQ(new CQuillon, nullptr);
        EXPECT_EQ(new CListener[2], nullptr);
        g_cAllowed = 1;
        QUILLON_HANDLE hQuillon = reinterpret_cast<QUILLON_HANDLE>(1);
        EXPECT_EQ(Quillon_Create(&hQuillon), E_OUTOFMEMORY);
        EXPECT_EQ(hQuillon, nullptr);
        {
            CQuillon without;
            CQuillon copy(without);
            g_dwFailingThread = 0;
            EXPECT_EQ(Apartment(), -1);
            for (CQuillon* pQuillon : {&without, &copy}) {
                float fLevel;
                bool bMuted;
                pQuillon->Test(1);
                EXPECT_FALSE(pQuillon->Initialize(eFindDefault, nullptr) || pQuillon->InitializeFollowingDefault() ||
                             pQuillon->SetVolume(0.5f, true) || pQuillon->GetVolume(&fLevel, true) ||
                             pQuillon->SetMute(true) || pQuillon->GetMute(&bMuted));
            }
            CQuillon quillon;
            EXPECT_EQ(Apartment(), APTTYPE_STA);
            m_service.RegisterOnThisThread();
            g_cAllowed = 1;
            g_dwFailingThread = GetCurrentThreadId();
            EXPECT_FALSE(quillon.Initialize(eFindDefault, nullptr));
            g_dwFailingThread = 0;
            EXPECT_EQ(m_service.Live(), 0);
            EXPECT_TRUE(quillon.Initialize(eFindDefault, nullptr) && quillon.Initialize(eFindDefault, nullptr));
        }
        EXPECT_EQ(Apartment(), -1);
        EXPECT_EQ(g_cBlocks, cBlocks);
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

CScopedHandle g_hEntered(CreateEventA(nullptr, FALSE, FALSE, nullptr));
volatile bool g_bInside = false;

struct CCallbackLog
{
    std::vector<Change> changes;
    QUILLON_HANDLE hToDestroy;
    CSimAudioService* pService;
};

// Stays in its call a while; given a handle, removes itself, destroys the handle and waits until
// the library has let go of the endpoint.
void QUILLON_CALL Record(void* pvLog, float fMasterVolume, BOOL bMuted, const GUID* pguidEventContext)
{
    CCallbackLog* pLog = static_cast<CCallbackLog*>(pvLog);
    pLog->changes.emplace_back(fMasterVolume, bMuted != FALSE, *pguidEventContext);
    if (!pLog->hToDestroy) {
        g_bInside = true;
        SetEvent(g_hEntered.Get());
        Sleep(100);
        g_bInside = false;
    } else if (SUCCEEDED(Quillon_SetChangeCallback(pLog->hToDestroy, nullptr, nullptr))) {
        Quillon_Destroy(pLog->hToDestroy);
        EXPECT_TRUE(WaitUntil([&] { return pLog->pService->Live() == 0; }));
    }
}

// The C callback hears others' changes with their context, never its handle's own. Outside a call
// of it, replacing it or destroying its handle waits for the call under way (the service lets go
// at once: the library itself must wait), so often that a handle left behind by each wait would
// show above the few that Wine opens for itself. Inside its call a callback may remove itself and
// destroy its handle (one that follows the default endpoint): that returns at once, and the
// unregistrations and final releases, which the platform forbids on its notification thread
// (Wine does not enforce that), come on another thread, while the delivery keeps what it uses
// alive by a reference of its own (the library's freed blocks are poisoned by then: a use after
// free crashes).
TEST_F(QuillonTest, CCallbackIsWaitedForOutsideItsCallsOnly)
{
    ASSERT_TRUE(g_bHooked);
    m_service.UnregisterWithoutWaiting();
    CCallbackLog slow = {{}, nullptr, nullptr}, destroying = {{}, nullptr, &m_service};
    int cHandles = 0;
    for (int iRound = 0; iRound < 10; ++iRound) {
        cHandles = iRound == 1 ? HandleCounts().first : cHandles;
        QUILLON_HANDLE hQuillon = nullptr;
        ASSERT_EQ(Quillon_Create(&hQuillon), S_OK);
        ASSERT_EQ(Quillon_SetChangeCallback(hQuillon, Record, &slow), S_OK);
        const HRESULT hr =
            iRound < 9 ? Quillon_InitializeDefault(hQuillon) : Quillon_InitializeFollowingDefault(hQuillon);
        ASSERT_TRUE(SUCCEEDED(hr) && SUCCEEDED(Quillon_SetVolume(hQuillon, 0.2f)));
        m_service.ChangeAsOther(m_iDefault, 0.3f, true, kGuidOther);
        ASSERT_EQ(WaitForSingleObject(g_hEntered.Get(), 5000), WAIT_OBJECT_0);
        destroying.hToDestroy = hQuillon;
        if (iRound == 9)
            EXPECT_EQ(Quillon_SetChangeCallback(hQuillon, Record, &destroying), S_OK);
        else
            Quillon_Destroy(hQuillon);
        EXPECT_FALSE(g_bInside) << iRound;
    }
    g_bPoison = true;
    m_service.ChangeAsOther(m_iDefault, 0.4f, false, GUID_NULL);
    m_service.ChangeAsOther(m_iDefault, 0.5f, false, kGuidOther);
    EXPECT_TRUE(m_service.Flush());
    for (const char* pszCall : {"UnregisterControlChangeNotify", "UnregisterEndpointNotificationCallback", "Release"})
        EXPECT_NE(m_service.Call(pszCall).dwThread, m_service.NotificationThread()) << pszCall;
    EXPECT_EQ(slow.changes, std::vector<Change>(10, Change(0.3f, true, kGuidOther)));
    EXPECT_EQ(destroying.changes, std::vector<Change>{Change(0.4f, false, GUID_NULL)});
    EXPECT_LT(HandleCounts().first, cHandles + 4);
}

}
