// The desk band driven as the shell and the host drive it: created through the library's
// exports, sited on a test taskbar window, queried through the utility window, with a host
// window in a second process whose snapshots the test collects.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "CHostProcess.h"
#include "CSitedBandTest.h"

namespace
{
const IID kIidDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
const int kTaskbarWidth = CTestTaskbar::kDefaultWidth;
const int kTaskbarHeight = CTestTaskbar::kDefaultHeight;

using DeskbandTest = CSitedBandTest;
}

TEST_F(DeskbandTest, BandInfoFollowsViewModeAndMask)
{
    for (DWORD dwViewMode :
         {DBIF_VIEWMODE_NORMAL, DBIF_VIEWMODE_VERTICAL, DBIF_VIEWMODE_FLOATING, DBIF_VIEWMODE_TRANSPARENT}) {
        const bool fVertical = dwViewMode == DBIF_VIEWMODE_VERTICAL;
        DESKBANDINFO dbi = {};
        dbi.dwMask = 0x7F;
        dbi.crBkgnd = RGB(1, 2, dwViewMode);
        dbi.wszTitle[0] = L'x';
        ASSERT_EQ(m_pBand->GetBandInfo(7, dwViewMode, &dbi), S_OK);
        EXPECT_EQ(dbi.dwMask, 0x3Fu);
        // Minimum, actual, maximum and integral sizes, x then y.
        EXPECT_EQ((std::vector<LONG>{dbi.ptMinSize.x, dbi.ptMinSize.y, dbi.ptActual.x, dbi.ptActual.y, dbi.ptMaxSize.x,
                                     dbi.ptMaxSize.y, dbi.ptIntegral.x, dbi.ptIntegral.y}),
                  (std::vector<LONG>{fVertical ? 16 : 32, fVertical ? 32 : 16, fVertical ? 16 : 80, fVertical ? 40 : 16,
                                     -1, -1, 1, 1}));
        EXPECT_TRUE(dbi.wszTitle[0] == L'\0' && dbi.dwModeFlags == DBIMF_VARIABLEHEIGHT);
        EXPECT_EQ(Ask(WM_DESKBAND_GETVIEWMODE), static_cast<LRESULT>(dwViewMode));
        EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), static_cast<LRESULT>(RGB(1, 2, dwViewMode)));
    }

    // Unmasked members stay as they are, the colour among them.
    DESKBANDINFO dbi;
    memset(&dbi, 0xCD, sizeof(dbi));
    dbi.dwMask = DBIM_ACTUAL;
    ASSERT_EQ(m_pBand->GetBandInfo(8, DBIF_VIEWMODE_VERTICAL, &dbi), S_OK);
    EXPECT_TRUE(dbi.ptActual.x == 16 && dbi.ptMinSize.x == LONG(0xCDCDCDCD) && dbi.crBkgnd == 0xCDCDCDCD);
    EXPECT_EQ(dbi.dwMask, static_cast<DWORD>(DBIM_ACTUAL));
    EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), static_cast<LRESULT>(RGB(1, 2, DBIF_VIEWMODE_TRANSPARENT)));
    EXPECT_EQ(m_pBand->GetBandInfo(9, DBIF_VIEWMODE_FLOATING, nullptr), S_OK);
    EXPECT_EQ(Ask(WM_DESKBAND_GETVIEWMODE), DBIF_VIEWMODE_FLOATING);
}

TEST_F(DeskbandTest, InterfacesAndTheirPlainResults)
{
    IUnknown* pIdentity = QueryAs<IUnknown>(m_pBand, IID_IUnknown);
    for (const IID* piid : {&kIidDeskband, &IID_IDispatch, &IID_IOleWindow, &IID_IDockingWindow, &IID_IDeskBand,
                            &IID_IObjectWithSite, &IID_IPersist, &IID_IPersistStream}) {
        IUnknown* pPart = QueryAs<IUnknown>(m_pBand, *piid);
        IUnknown* pPartIdentity = QueryAs<IUnknown>(pPart, IID_IUnknown);
        EXPECT_TRUE(pPart && pPartIdentity == pIdentity);
        for (IUnknown* pUnknown : {pPart, pPartIdentity})
            if (pUnknown)
                pUnknown->Release();
    }
    pIdentity->Release();
    void* pv = &pv;
    EXPECT_EQ(m_pBand->QueryInterface(IID_IInputObject, &pv), E_NOINTERFACE);

    IPersistStream* pPersist = QueryAs<IPersistStream>(m_pBand, IID_IPersistStream);
    CLSID clsid = {};
    EXPECT_TRUE(pPersist->GetClassID(&clsid) == S_OK && clsid == kClsidDeskband);
    // IsDirty, Load, Save, GetSizeMax, ResizeBorderDW, and null out pointers.
    EXPECT_EQ((std::vector<HRESULT>{pPersist->IsDirty(), pPersist->Load(nullptr), pPersist->Save(nullptr, TRUE),
                                    pPersist->GetSizeMax(nullptr), m_pBand->ResizeBorderDW(nullptr, nullptr, FALSE),
                                    pPersist->GetClassID(nullptr), m_pBand->GetWindow(nullptr),
                                    m_pWithSite->GetSite(IID_IInputObjectSite, nullptr)}),
              (std::vector<HRESULT>{S_FALSE, S_OK, S_OK, E_NOTIMPL, E_NOTIMPL, E_POINTER, E_INVALIDARG, E_POINTER}));
    pPersist->Release();
    ASSERT_EQ(m_pWithSite->GetSite(IID_IInputObjectSite, &pv), S_OK);
    EXPECT_EQ(pv, static_cast<IInputObjectSite*>(&m_site));
    static_cast<IUnknown*>(pv)->Release();
}

TEST_F(DeskbandTest, WindowsLiveFromSitingToCloseDW)
{
    RECT rcBand = {};
    GetWindowRect(m_hwndBand, &rcBand);
    EXPECT_EQ(GetParent(m_hwndBand), m_taskbar.m_hwnd);
    EXPECT_TRUE(rcBand.right - rcBand.left == kTaskbarWidth && rcBand.bottom - rcBand.top == kTaskbarHeight);
    EXPECT_EQ(GetWindowLongA(m_hwndUtility, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(Ask(WM_DESKBAND_GETBANDWINDOW), reinterpret_cast<LRESULT>(m_hwndBand));
    EXPECT_EQ(Ask(WM_DESKBAND_GETVIEWMODE), 0);
    EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), 0) << "no colour before the container reports one";

    EXPECT_EQ(m_pBand->ShowDW(FALSE), S_OK);
    EXPECT_EQ(GetWindowLongA(m_hwndBand, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(m_pBand->ShowDW(2), S_OK);
    EXPECT_NE(GetWindowLongA(m_hwndBand, GWL_STYLE) & WS_VISIBLE, 0);

    EXPECT_EQ(m_pBand->CloseDW(0), S_OK);
    EXPECT_FALSE(IsWindow(m_hwndBand) || IsWindow(m_hwndUtility));
    HWND hwnd = m_hwndUtility;
    EXPECT_TRUE(m_pBand->GetWindow(&hwnd) == S_OK && hwnd == nullptr);
    EXPECT_EQ(m_pBand->CloseDW(0), S_OK);
    EXPECT_EQ(m_site.m_cRef, 1u) << "closing keeps the site";
    EXPECT_EQ(m_pWithSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(m_site.m_cRef, 0u);
    void* pv = &pv;
    EXPECT_TRUE(m_pWithSite->GetSite(IID_IUnknown, &pv) == E_FAIL && pv == nullptr);

    // Unsited, the band takes only a site with a live window and an input site.
    CTestSite noWindow(m_taskbar.m_hwnd, IID_IOleWindow), deadWindow(reinterpret_cast<HWND>(0x1234));
    for (CTestSite* pSite : {&noWindow, &deadWindow}) {
        EXPECT_EQ(m_pWithSite->SetSite(pSite->Unknown()), E_FAIL);
        EXPECT_EQ(UtilityWindow(), nullptr);
    }
    CTestSite noInputSite(m_taskbar.m_hwnd, IID_IInputObjectSite);
    EXPECT_EQ(m_pWithSite->SetSite(noInputSite.Unknown()), E_FAIL);
    EXPECT_NE(UtilityWindow(), nullptr) << "the windows stay";
    EXPECT_EQ(m_pWithSite->GetSite(IID_IUnknown, &pv), E_FAIL);
    ReleaseBand();
    EXPECT_EQ(noWindow.m_cRef + deadWindow.m_cRef + noInputSite.m_cRef, 0u);
}

TEST_F(DeskbandTest, SitingAgainReplacesTheEarlierWindows)
{
    CTestTaskbar taskbar;
    CTestSite site(taskbar.m_hwnd);
    ASSERT_EQ(m_pWithSite->SetSite(site.Unknown()), S_OK);
    EXPECT_FALSE(IsWindow(m_hwndBand) || IsWindow(m_hwndUtility));
    EXPECT_EQ(m_site.m_cRef, 0u);
    EXPECT_TRUE(UtilityWindow() && !FindUtilityWindowOf(GetCurrentProcessId(), UtilityWindow()));
    HWND hwndBand = nullptr;
    m_pBand->GetWindow(&hwndBand);
    EXPECT_EQ(GetParent(hwndBand), taskbar.m_hwnd);
    ReleaseBand();
    EXPECT_EQ(site.m_cRef, 0u);
}

TEST_F(DeskbandTest, HostGetsOneSnapshotWhileRegisteringAndAfterEachChange)
{
    CHostProcess host;
    ASSERT_EQ(host.Register(), m_hwndUtility);
    ExpectOneSnapshot(host, kTaskbarWidth, kTaskbarHeight);
    m_pBand->GetBandInfo(1, DBIF_VIEWMODE_VERTICAL, nullptr);
    ASSERT_EQ(host.Register(), m_hwndUtility);
    ExpectOneSnapshot(host, kTaskbarWidth, kTaskbarHeight, DBIF_VIEWMODE_VERTICAL);
    m_pBand->GetBandInfo(1, DBIF_VIEWMODE_NORMAL, nullptr);

    ResizeBand(0, 0, 60, 20, SWP_NOMOVE);
    ExpectOneSnapshot(host, 60, 20);
    ResizeBand(10, 5, 0, 0, SWP_NOSIZE);
    EXPECT_EQ(host.Report().size(), 0u) << "a move alone sends nothing";
    ResizeBand(10, 5, 50, 10);
    ExpectOneSnapshot(host, 50, 10, 0, 10, 5);
    for (UINT uMsg : {WM_THEMECHANGED, WM_SYSCOLORCHANGE, WM_DWMCOLORIZATIONCOLORCHANGED, WM_DWMCOMPOSITIONCHANGED}) {
        SCOPED_TRACE(uMsg);
        Ask(uMsg);
        PumpMessages();
        ExpectOneSnapshot(host, 50, 10, 0, 10, 5);
    }
    // Beyond a 32-bit process's memory; a 64-bit one would make and send the 3.6 GB.
    if (sizeof(void*) == 4) {
        ResizeBand(0, 0, 30000, 30000);
        EXPECT_EQ(host.Report().size(), 0u) << "too large for pixel memory";
    }
    ResizeBand(0, 0, 0, 10);
    ExpectOneSnapshot(host, 0, 10);
}

TEST_F(DeskbandTest, UnregisteredOrVanishedHostGetsNothing)
{
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    Ask(WM_DESKBAND_SETHOSTWINDOW, 0);
    Ask(WM_THEMECHANGED);
    PumpMessages();
    EXPECT_EQ(host.Report().size(), 1u) << "only the registration's snapshot";

    ASSERT_TRUE(host.Register());
    const HWND hwndGone = CreateHiddenWindow("DeskbandTestGone", DefWindowProcA, 0, 0);
    DestroyWindow(hwndGone);
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(hwndGone));
    Ask(WM_THEMECHANGED);
    ResizeBand(0, 0, 30, 30);
    EXPECT_EQ(host.Report().size(), 1u) << "only the registration's snapshot";
}

// The taskbar's thread waits for a host that handles no messages only for a while, and then
// forgets it; the snapshot it gave up on may still reach the host late.
TEST_F(DeskbandTest, HostThatDoesNotAnswerIsForgottenInsteadOfFreezingTheBand)
{
    CHostProcess host;
    ASSERT_TRUE(host.Hang());
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(host.m_hwnd));
    host.Resume();
    for (UINT uMsg : {WM_THEMECHANGED, WM_SYSCOLORCHANGE}) {
        Ask(uMsg);
        PumpMessages();
    }
    EXPECT_LE(host.Report().size(), 1u);
}

// Runs only where the visual-styles library cannot load (its own CTest entry).
TEST_F(DeskbandTest, WithoutVisualStylesTheSnapshotIsButtonFace)
{
    if (const HMODULE hTheme = LoadLibraryA("uxtheme.dll")) {
        FreeLibrary(hTheme);
        GTEST_SKIP() << "the visual-styles library is present";
    }
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    ExpectOneSnapshot(host, kTaskbarWidth, kTaskbarHeight, 0, 0, 0, GetSysColor(COLOR_BTNFACE));
}
