// The class object and the band it creates, alone and aggregated, through the exports, and
// the shell's whole path from loading the library to unloading it.

#include "CTestSite.h"
#include "DeskbandProtocol.h"
#include "VeltrixLibrary.h"

namespace
{
// Asks for riid and gives the reference back at once; the object's own reference keeps the
// pointer valid for comparisons.
void* PartFor(IUnknown* pUnk, REFIID riid)
{
    IUnknown* pPart = nullptr;
    if (FAILED(pUnk->QueryInterface(riid, reinterpret_cast<void**>(&pPart))))
        return nullptr;
    pPart->Release();
    return pPart;
}

// This process's kernel handles. Wine answers 0 to GetProcessHandleCount, so there they are
// counted by asking about every handle value in turn.
int KernelHandleCount()
{
    DWORD cHandles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &cHandles) && cHandles != 0)
        return static_cast<int>(cHandles);
    for (ULONG_PTR uValue = 4; uValue < 0x10000; uValue += 4) {
        DWORD dwFlags = 0;
        cHandles += GetHandleInformation(reinterpret_cast<HANDLE>(uValue), &dwFlags) ? 1 : 0;
    }
    return static_cast<int>(cHandles);
}
}

TEST(ClassObject, IsCachedAndSharedAndHoldsTheModuleWhileOutsideOrLocked)
{
    CVeltrixLibrary library;
    void* pv = kpvStale;
    const CLSID clsidOther = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x35}};
    EXPECT_EQ(library.GetClassObject(clsidOther, IID_IClassFactory, &pv), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(library.GetClassObject<void>(kClsidDeskband, IID_IClassFactory, nullptr), E_POINTER);
    pv = kpvStale;
    EXPECT_EQ(library.GetClassObject(kClsidDeskband, IID_IDispatch, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(library.CanUnloadNow(), S_OK);

    // The class table keeps its own reference, which holds no lock: the same object comes back.
    IClassFactory* pFirst = library.Factory();
    IUnknown* pSecond = nullptr;
    ASSERT_EQ(library.GetClassObject(kClsidDeskband, IID_IUnknown, &pSecond), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(pFirst), pSecond);
    EXPECT_EQ(pSecond->Release(), 2u);
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(pFirst->Release(), 1u);
    EXPECT_EQ(library.CanUnloadNow(), S_OK);

    IClassFactory* pAgain = library.Factory();
    EXPECT_EQ(pAgain, pFirst);
    EXPECT_EQ(pAgain->LockServer(TRUE), S_OK);
    pAgain->Release();
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
    pAgain = library.Factory();
    EXPECT_EQ(pAgain->LockServer(FALSE), S_OK);
    // An unlock without a lock before it changes nothing: a live band still holds the library.
    IUnknown* pBand = nullptr;
    ASSERT_EQ(library.Create(IID_IUnknown, &pBand), S_OK);
    EXPECT_EQ(pAgain->LockServer(FALSE), S_OK);
    pAgain->Release();
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
    pBand->Release();
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

TEST(Band, RefusedRequestsLeaveNothingOutAndNoLockBehind)
{
    CVeltrixLibrary library;
    void* pv = kpvStale;
    EXPECT_EQ(library.Create(IID_IInputObject, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(library.Create<void>(IID_IUnknown, nullptr), E_POINTER);
    IUnknown* pUnk = nullptr;
    ASSERT_EQ(library.Create(IID_IUnknown, &pUnk), S_OK);
    pv = kpvStale;
    EXPECT_EQ(pUnk->QueryInterface(IID_IInputObject, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(pUnk->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(pUnk->Release(), 0u);

    IClassFactory* pFactory = library.Factory();
    CTestSite outer(nullptr);
    for (const IID* piid : {&IID_IDeskBand, &IID_IDispatch}) {
        pv = kpvStale;
        EXPECT_EQ(pFactory->CreateInstance(outer.Unknown(), *piid, &pv), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(pv, nullptr);
    }
    EXPECT_EQ(outer.m_cRef, 0u);
    pFactory->Release();
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

TEST(Band, AggregatedCountsOnItsOuterObjectAndStillFindsItsOwnInterfaces)
{
    CVeltrixLibrary library;
    const HWND hwndParent =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 40, nullptr, nullptr, nullptr, nullptr);
    CTestSite outer(hwndParent);
    IClassFactory* pFactory = library.Factory();
    IUnknown* pInner = nullptr;
    ASSERT_EQ(pFactory->CreateInstance(outer.Unknown(), IID_IUnknown, reinterpret_cast<void**>(&pInner)), S_OK);
    pFactory->Release();
    EXPECT_NE(pInner, outer.Unknown());
    EXPECT_EQ(outer.m_cRef, 0u);
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);

    IDeskBand* pBand = nullptr;
    ASSERT_EQ(pInner->QueryInterface(IID_IDeskBand, reinterpret_cast<void**>(&pBand)), S_OK);
    EXPECT_EQ(outer.m_cRef, 1u);
    EXPECT_EQ(pBand->AddRef(), 2u);
    EXPECT_EQ(pBand->Release(), 1u);
    // The outer object answers first: the identity is its own. Parts it does not expose are
    // still found among the band's own.
    EXPECT_EQ(PartFor(pBand, IID_IUnknown), static_cast<void*>(outer.Unknown()));
    EXPECT_NE(PartFor(pBand, IID_IObjectWithSite), nullptr);
    EXPECT_EQ(PartFor(pBand, IID_IPersist), PartFor(pInner, IID_IPersistStream));
    EXPECT_EQ(outer.m_cRef, 1u);

    // Sited on its outer object and let go of while sited: the band's teardown releases the
    // site, and until that teardown is over the library must not be free to unload.
    auto pWithSite = static_cast<IObjectWithSite*>(PartFor(pBand, IID_IObjectWithSite));
    ASSERT_EQ(pWithSite->SetSite(outer.Unknown()), S_OK);
    pBand->Release();
    EXPECT_EQ(outer.m_cRef, 1u);
    HRESULT hrCanUnloadAtRelease = E_UNEXPECTED;
    outer.m_fnOnRelease = [&] { hrCanUnloadAtRelease = library.CanUnloadNow(); };
    EXPECT_EQ(pInner->Release(), 0u);
    EXPECT_EQ(outer.m_cRef, 0u);
    EXPECT_EQ(hrCanUnloadAtRelease, S_FALSE);
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
    DestroyWindow(hwndParent);
}

// The shell's whole path a hundred times: load the library, create, site, show, close and
// release a band (every other time still sited: its teardown then releases the site, and until
// the teardown is over the library must not be free to unload), unload. Windows keeps a
// library's window classes after an unload, with a procedure that points into the unloaded
// image: the class must be gone by then. And no round may leave a handle behind.
TEST(ShellPath, SitesShowsClosesAndReleasesBandsAndUnloadsLeavingNoClassOrHandle)
{
    const HWND hwndParent =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 40, nullptr, nullptr, nullptr, nullptr);
    int cHandles = 0;
    for (int iRound = 0; iRound < 100; ++iRound) {
        SCOPED_TRACE(iRound);
        CVeltrixLibrary library;
        CTestSite site(hwndParent);
        IDeskBand* pBand = nullptr;
        ASSERT_EQ(library.Create(IID_IDeskBand, &pBand), S_OK);
        EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
        IObjectWithSite* pWithSite = nullptr;
        ASSERT_EQ(pBand->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&pWithSite)), S_OK);

        ASSERT_EQ(pWithSite->SetSite(site.Unknown()), S_OK);
        EXPECT_EQ(site.m_cRef, 1u);
        HWND hwndBand = nullptr;
        EXPECT_EQ(pBand->GetWindow(&hwndBand), S_OK);
        EXPECT_EQ(GetParent(hwndBand), hwndParent);
        DESKBANDINFO dbi = {};
        dbi.dwMask = DBIM_MINSIZE | DBIM_BKCOLOR | DBIM_MODEFLAGS; // the band keeps no background colour
        EXPECT_EQ(pBand->GetBandInfo(1, DBIF_VIEWMODE_NORMAL, &dbi), S_OK);
        EXPECT_TRUE(dbi.ptMinSize.x == 32 && dbi.ptMinSize.y == 16);
        EXPECT_EQ(dbi.dwMask, static_cast<DWORD>(DBIM_MINSIZE | DBIM_MODEFLAGS));

        EXPECT_EQ(pBand->ShowDW(TRUE), S_OK);
        EXPECT_NE(GetWindowLongA(hwndBand, GWL_STYLE) & WS_VISIBLE, 0);
        EXPECT_EQ(pBand->CloseDW(0), S_OK);
        EXPECT_FALSE(IsWindow(hwndBand));
        if (iRound % 2 == 0) {
            EXPECT_EQ(pWithSite->SetSite(nullptr), S_OK);
        }
        HRESULT hrCanUnloadAtRelease = E_UNEXPECTED;
        site.m_fnOnRelease = [&] { hrCanUnloadAtRelease = library.CanUnloadNow(); };
        pWithSite->Release();
        EXPECT_EQ(pBand->Release(), 0u);
        EXPECT_EQ(site.m_cRef, 0u);
        EXPECT_EQ(hrCanUnloadAtRelease, iRound % 2 == 0 ? E_UNEXPECTED : S_FALSE);
        EXPECT_EQ(library.CanUnloadNow(), S_OK);

        const HMODULE hModule = library.Module();
        library.Free();
        WNDCLASSEXA wc = {};
        EXPECT_FALSE(GetClassInfoExA(hModule, DESKBAND_UTILITY_CLASS, &wc));
        if (iRound == 0)
            cHandles = KernelHandleCount();
    }
    EXPECT_EQ(KernelHandleCount(), cHandles);
    DestroyWindow(hwndParent);
}
