// The class object and the band it creates, alone and aggregated, through the library's exports,
// and the unload after the shell's whole path.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "CTestSite.h"
#include "CVeltrixLibrary.h"

namespace
{
// Stands in an out parameter before a call, to show that the call clears it.
void* const kpvStale = reinterpret_cast<void*>(0x13572468);

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

TEST(ClassObject, RefusedRequestsLeaveNothingOutAndNoLockBehind)
{
    CVeltrixLibrary library;
    CTestSite outer;
    const CLSID clsidOther = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x35}};
    const struct
    {
        const char* pszLabel;
        std::function<HRESULT(void**)> fnRequest;
        HRESULT hr;
    } rows[] = {
        {"class object of another class",
         [&](void** ppv) { return library.GetClassObject(clsidOther, IID_IClassFactory, ppv); },
         CLASS_E_CLASSNOTAVAILABLE},
        {"class object without its interface",
         [&](void** ppv) { return library.GetClassObject(kClsidDeskband, IID_IDispatch, ppv); }, E_NOINTERFACE},
        {"band without its interface", [&](void** ppv) { return library.Create(IID_IInputObject, ppv); },
         E_NOINTERFACE},
        {"aggregated band asked for IDeskBand",
         [&](void** ppv) { return library.Create(IID_IDeskBand, ppv, outer.Unknown()); }, CLASS_E_NOAGGREGATION},
        {"aggregated band asked for IDispatch",
         [&](void** ppv) { return library.Create(IID_IDispatch, ppv, outer.Unknown()); }, CLASS_E_NOAGGREGATION},
    };
    for (const auto& row : rows) {
        void* pv = kpvStale;
        EXPECT_EQ(row.fnRequest(&pv), row.hr) << row.pszLabel;
        EXPECT_EQ(pv, nullptr) << row.pszLabel;
    }
    EXPECT_EQ(library.GetClassObject<void>(kClsidDeskband, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(library.Create<void>(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(outer.m_cRef, 0u);
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

TEST(ClassObject, IsCachedAndSharedAndHoldsTheModuleWhileOutsideOrLocked)
{
    CVeltrixLibrary library;
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
    // The class table keeps its own reference, which holds no lock: the same object comes back.
    IClassFactory* pFirst = nullptr;
    IUnknown* pSecond = nullptr;
    ASSERT_EQ(library.GetClassObject(kClsidDeskband, IID_IClassFactory, &pFirst), S_OK);
    ASSERT_EQ(library.GetClassObject(kClsidDeskband, IID_IUnknown, &pSecond), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(pFirst), pSecond);
    EXPECT_EQ(pSecond->Release(), 2u);
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(pFirst->Release(), 1u);
    EXPECT_EQ(library.CanUnloadNow(), S_OK);

    IClassFactory* pAgain = nullptr;
    ASSERT_EQ(library.GetClassObject(kClsidDeskband, IID_IClassFactory, &pAgain), S_OK);
    EXPECT_EQ(pAgain, pFirst);
    EXPECT_EQ(pAgain->LockServer(TRUE), S_OK);
    pAgain->Release();
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
    ASSERT_EQ(library.GetClassObject(kClsidDeskband, IID_IClassFactory, &pAgain), S_OK);
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

TEST(ClassObject, AggregatedBandCountsOnItsOuterObjectAndStillFindsItsOwnInterfaces)
{
    CVeltrixLibrary library;
    CTestSite outer;
    IUnknown* pInner = nullptr;
    ASSERT_EQ(library.Create(IID_IUnknown, &pInner, outer.Unknown()), S_OK);
    EXPECT_NE(pInner, outer.Unknown());
    EXPECT_EQ(outer.m_cRef, 0u);
    EXPECT_EQ(library.CanUnloadNow(), S_FALSE);

    IDeskBand* pBand = nullptr;
    ASSERT_EQ(pInner->QueryInterface(IID_IDeskBand, reinterpret_cast<void**>(&pBand)), S_OK);
    EXPECT_EQ(outer.m_cRef, 1u);
    EXPECT_EQ(pBand->AddRef(), 2u);
    EXPECT_EQ(pBand->Release(), 1u);
    // The outer object answers first: the identity is its own. Parts it does not expose are
    // still found among the band's own (each reference is given back at once; the band's own
    // keeps the pointers valid for comparison).
    const auto partFor = [](IUnknown* pUnknown, REFIID riid) {
        IUnknown* pPart = nullptr;
        if (SUCCEEDED(pUnknown->QueryInterface(riid, reinterpret_cast<void**>(&pPart))))
            pPart->Release();
        return pPart;
    };
    EXPECT_EQ(partFor(pBand, IID_IUnknown), outer.Unknown());
    EXPECT_EQ(partFor(pBand, IID_IPersist), partFor(pInner, IID_IPersistStream));
    const auto pWithSite = static_cast<IObjectWithSite*>(partFor(pBand, IID_IObjectWithSite));
    ASSERT_NE(pWithSite, nullptr);
    EXPECT_EQ(outer.m_cRef, 1u);

    // Sited on its outer object and let go of while sited: the band's teardown releases the
    // site, and until that teardown is over the library must not be free to unload.
    ASSERT_EQ(pWithSite->SetSite(outer.Unknown()), S_OK);
    pBand->Release();
    HRESULT hrCanUnloadAtRelease = E_UNEXPECTED;
    outer.m_fnOnRelease = [&] { hrCanUnloadAtRelease = library.CanUnloadNow(); };
    EXPECT_EQ(pInner->Release(), 0u);
    EXPECT_EQ(outer.m_cRef, 0u);
    EXPECT_EQ(hrCanUnloadAtRelease, S_FALSE);
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

// The shell's path a hundred times: load the library, create, site, close and release a band
// (every other time still sited: its teardown then releases the site, and until the teardown
// is over the library must not be free to unload), unload. Windows keeps a library's window
// classes after an unload, with a procedure that points into the unloaded image: the class
// must be gone by then. And no round may leave a handle behind.
TEST(ClassObject, HundredShellPathsUnloadLeavingNoClassOrHandle)
{
    CTestSite site;
    int cHandles = 0;
    for (int iRound = 0; iRound < 100; ++iRound) {
        SCOPED_TRACE(iRound);
        CVeltrixLibrary library;
        IObjectWithSite* pWithSite = nullptr;
        ASSERT_EQ(library.Create(IID_IObjectWithSite, &pWithSite), S_OK);
        ASSERT_EQ(pWithSite->SetSite(site.Unknown()), S_OK);
        IDeskBand* pBand = nullptr;
        ASSERT_EQ(pWithSite->QueryInterface(IID_IDeskBand, reinterpret_cast<void**>(&pBand)), S_OK);
        EXPECT_EQ(pBand->CloseDW(0), S_OK);
        pBand->Release();
        if (iRound % 2 == 0) {
            EXPECT_EQ(pWithSite->SetSite(nullptr), S_OK);
        }
        HRESULT hrCanUnloadAtRelease = E_UNEXPECTED;
        site.m_fnOnRelease = [&] { hrCanUnloadAtRelease = library.CanUnloadNow(); };
        EXPECT_EQ(pWithSite->Release(), 0u);
        site.m_fnOnRelease = nullptr;
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
}
