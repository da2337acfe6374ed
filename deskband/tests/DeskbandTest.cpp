// The desk band driven as the shell and the host drive it: created through the library's
// exports, sited on a test taskbar window, queried through the utility window, with a host
// window in a second process that records the snapshots.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "CHostProcess.h"
#include "CTestSite.h"
#include "CTestTaskbar.h"
#include "DeskbandProtocol.h"
#include "TestShell.h"

namespace
{
const IID kIidDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
const int kTaskbarWidth = CTestTaskbar::kDefaultWidth;
const int kTaskbarHeight = CTestTaskbar::kDefaultHeight;

// A band sited on the test taskbar, as the shell leaves it after SetSite.
class DeskbandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pBand = CreateBand();
        ASSERT_NE(m_pBand, nullptr);
        ASSERT_EQ(m_pBand->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&m_pWithSite)), S_OK);
        ASSERT_EQ(m_pWithSite->SetSite(static_cast<IOleWindow*>(&m_site)), S_OK);
        m_hwndUtility = UtilityWindow();
        m_pBand->GetWindow(&m_hwndBand);
        ASSERT_TRUE(IsWindow(m_hwndUtility) && IsWindow(m_hwndBand));
    }
    void TearDown() override
    {
        ReleaseBand();
        EXPECT_EQ(m_site.m_cRef, 0u);
    }
    void ReleaseBand()
    {
        if (m_pWithSite)
            m_pWithSite->Release();
        if (m_pBand)
            m_pBand->Release();
        m_pWithSite = nullptr;
        m_pBand = nullptr;
    }
    LRESULT Ask(UINT uMsg, LPARAM lParam = 0) { return SendMessageA(m_hwndUtility, uMsg, 0, lParam); }
    void ResizeBand(int x, int y, int cx, int cy, UINT uFlags = 0)
    {
        SetWindowPos(m_hwndBand, nullptr, x, y, cx, cy, uFlags | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages();
    }

    CTestTaskbar m_taskbar;
    CTestSite m_site{m_taskbar.m_hwnd};
    IDeskBand* m_pBand = nullptr;
    IObjectWithSite* m_pWithSite = nullptr;
    HWND m_hwndUtility = nullptr;
    HWND m_hwndBand = nullptr;
};

// Checks a snapshot against the protocol and against the taskbar's pattern behind a band
// window at (dx, dy).
void ExpectSnapshot(const Snapshot& snapshot, HWND hwndUtility, int nWidth, int nHeight, DWORD dwViewMode,
                    int dx, int dy)
{
    EXPECT_EQ(snapshot.info.hwndSender, hwndUtility);
    EXPECT_EQ(snapshot.info.dwData, DESKBAND_SNAPSHOT_ID);
    ASSERT_EQ(snapshot.info.cbData, 52u + 4u * nWidth * nHeight);
    EXPECT_TRUE(snapshot.info.fValid);
    EXPECT_EQ(snapshot.Word(0), 52u);
    EXPECT_EQ(snapshot.Word(4), static_cast<DWORD>(nWidth));
    EXPECT_EQ(snapshot.Word(8), static_cast<DWORD>(nHeight));
    EXPECT_EQ(snapshot.Word(12), dwViewMode);
    for (size_t i = 16; i < 48; i += 4)
        EXPECT_EQ(snapshot.Word(i), 0u) << "reserved byte " << i;
    EXPECT_EQ(snapshot.Word(snapshot.bytes.size() - 4), 0u) << "trailing word";
    for (int y = 0; y < nHeight; ++y)
        for (int x = 0; x < nWidth; ++x)
            if (snapshot.Pixel(x, y) != AsDibPixel(PatternAt(x + dx, y + dy)))
                return ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << snapshot.Pixel(x, y);
}
}

TEST_F(DeskbandTest, BandInfoFollowsViewModeAndMask)
{
    for (DWORD dwViewMode : {DBIF_VIEWMODE_NORMAL, DBIF_VIEWMODE_VERTICAL, DBIF_VIEWMODE_FLOATING, DBIF_VIEWMODE_TRANSPARENT}) {
        const bool fVertical = dwViewMode == DBIF_VIEWMODE_VERTICAL;
        DESKBANDINFO dbi = {};
        dbi.dwMask = 0x7F;
        dbi.crBkgnd = RGB(1, 2, dwViewMode);
        dbi.wszTitle[0] = L'x';
        ASSERT_EQ(m_pBand->GetBandInfo(7, dwViewMode, &dbi), S_OK);
        EXPECT_EQ(dbi.dwMask, 0x3Fu);
        EXPECT_EQ(dbi.ptMinSize.x, fVertical ? 16 : 32);
        EXPECT_EQ(dbi.ptMinSize.y, fVertical ? 32 : 16);
        EXPECT_EQ(dbi.ptActual.x, fVertical ? 16 : 80);
        EXPECT_EQ(dbi.ptActual.y, fVertical ? 40 : 16);
        EXPECT_TRUE(dbi.ptMaxSize.x == -1 && dbi.ptMaxSize.y == -1);
        EXPECT_TRUE(dbi.ptIntegral.x == 1 && dbi.ptIntegral.y == 1);
        EXPECT_EQ(dbi.wszTitle[0], L'\0');
        EXPECT_EQ(dbi.dwModeFlags, static_cast<DWORD>(DBIMF_VARIABLEHEIGHT));
        EXPECT_EQ(Ask(WM_DESKBAND_GETVIEWMODE), static_cast<LRESULT>(dwViewMode));
        EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), static_cast<LRESULT>(RGB(1, 2, dwViewMode)));
    }

    // Unmasked members stay as they are, the colour among them.
    DESKBANDINFO dbi;
    memset(&dbi, 0xCD, sizeof(dbi));
    dbi.dwMask = DBIM_ACTUAL;
    ASSERT_EQ(m_pBand->GetBandInfo(8, DBIF_VIEWMODE_VERTICAL, &dbi), S_OK);
    EXPECT_EQ(dbi.ptActual.x, 16);
    EXPECT_EQ(dbi.ptMinSize.x, static_cast<LONG>(0xCDCDCDCD));
    EXPECT_EQ(dbi.crBkgnd, 0xCDCDCDCDu);
    EXPECT_EQ(dbi.dwMask, static_cast<DWORD>(DBIM_ACTUAL));
    EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), static_cast<LRESULT>(RGB(1, 2, DBIF_VIEWMODE_TRANSPARENT)));

    EXPECT_EQ(m_pBand->GetBandInfo(9, DBIF_VIEWMODE_FLOATING, nullptr), S_OK);
    EXPECT_EQ(Ask(WM_DESKBAND_GETVIEWMODE), DBIF_VIEWMODE_FLOATING);
}

TEST_F(DeskbandTest, InterfacesAndTheirPlainResults)
{
    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(m_pBand->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)), S_OK);
    for (const IID* piid : {&kIidDeskband, &IID_IDispatch, &IID_IOleWindow, &IID_IDockingWindow, &IID_IDeskBand,
                            &IID_IObjectWithSite, &IID_IPersist, &IID_IPersistStream}) {
        IUnknown* pPart = nullptr;
        IUnknown* pPartIdentity = nullptr;
        ASSERT_EQ(m_pBand->QueryInterface(*piid, reinterpret_cast<void**>(&pPart)), S_OK);
        pPart->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pPartIdentity));
        EXPECT_EQ(pPartIdentity, pIdentity);
        pPartIdentity->Release();
        pPart->Release();
    }
    pIdentity->Release();
    void* pv = &pv;
    EXPECT_EQ(m_pBand->QueryInterface(IID_IInputObject, &pv), E_NOINTERFACE);
    EXPECT_EQ(m_pBand->QueryInterface(IID_IContextMenu, &pv), E_NOINTERFACE);

    IPersistStream* pPersist = nullptr;
    ASSERT_EQ(m_pBand->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&pPersist)), S_OK);
    CLSID clsid = {};
    EXPECT_EQ(pPersist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, kClsidDeskband);
    EXPECT_EQ(pPersist->GetClassID(nullptr), E_POINTER);
    EXPECT_EQ(pPersist->IsDirty(), S_FALSE);
    EXPECT_EQ(pPersist->Load(nullptr), S_OK);
    EXPECT_EQ(pPersist->Save(nullptr, TRUE), S_OK);
    EXPECT_EQ(pPersist->GetSizeMax(nullptr), E_NOTIMPL);
    pPersist->Release();

    EXPECT_EQ(m_pBand->ResizeBorderDW(nullptr, nullptr, FALSE), E_NOTIMPL);
    EXPECT_EQ(m_pBand->GetWindow(nullptr), E_INVALIDARG);
    EXPECT_EQ(m_pWithSite->GetSite(IID_IInputObjectSite, nullptr), E_POINTER);
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
    EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), 0) << "no colour before the container reports one";

    EXPECT_EQ(m_pBand->ShowDW(FALSE), S_OK);
    EXPECT_EQ(GetWindowLongA(m_hwndBand, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(m_pBand->ShowDW(2), S_OK);
    EXPECT_NE(GetWindowLongA(m_hwndBand, GWL_STYLE) & WS_VISIBLE, 0);

    EXPECT_EQ(m_pBand->CloseDW(0), S_OK);
    EXPECT_FALSE(IsWindow(m_hwndBand) || IsWindow(m_hwndUtility));
    HWND hwnd = m_hwndUtility;
    EXPECT_EQ(m_pBand->GetWindow(&hwnd), S_OK);
    EXPECT_EQ(hwnd, nullptr);
    EXPECT_EQ(m_pBand->CloseDW(0), S_OK);
    EXPECT_EQ(m_site.m_cRef, 1u) << "closing keeps the site";
    EXPECT_EQ(m_pWithSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(m_site.m_cRef, 0u);
}

TEST_F(DeskbandTest, SitingAgainReplacesTheEarlierWindows)
{
    CTestTaskbar taskbar;
    CTestSite site(taskbar.m_hwnd);
    ASSERT_EQ(m_pWithSite->SetSite(static_cast<IOleWindow*>(&site)), S_OK);
    EXPECT_FALSE(IsWindow(m_hwndBand) || IsWindow(m_hwndUtility));
    EXPECT_EQ(m_site.m_cRef, 0u);
    const HWND hwndUtility = UtilityWindow();
    EXPECT_TRUE(IsWindow(hwndUtility));
    EXPECT_EQ(FindUtilityWindowOf(GetCurrentProcessId(), hwndUtility), nullptr);
    HWND hwndBand = nullptr;
    m_pBand->GetWindow(&hwndBand);
    EXPECT_EQ(GetParent(hwndBand), taskbar.m_hwnd);
    ReleaseBand();
    EXPECT_EQ(site.m_cRef, 0u);
}

TEST_F(DeskbandTest, FinalReleaseWhileSitedTakesWindowsAndSiteAlong)
{
    ReleaseBand();
    EXPECT_FALSE(IsWindow(m_hwndBand) || IsWindow(m_hwndUtility));
    EXPECT_EQ(m_site.m_cRef, 0u);
}

TEST(DeskbandSiting, SiteWithoutWindowOrInputSiteFails)
{
    CTestTaskbar taskbar;
    IDeskBand* pBand = CreateBand();
    ASSERT_NE(pBand, nullptr);
    IObjectWithSite* pWithSite = nullptr;
    ASSERT_EQ(pBand->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&pWithSite)), S_OK);
    HWND hwnd = taskbar.m_hwnd;
    EXPECT_EQ(pBand->GetWindow(&hwnd), S_OK);
    EXPECT_EQ(hwnd, nullptr);
    void* pv = &pv;
    EXPECT_EQ(pWithSite->GetSite(IID_IUnknown, &pv), E_FAIL);
    EXPECT_EQ(pv, nullptr);

    CTestSite noWindow(taskbar.m_hwnd, false, true);
    EXPECT_EQ(pWithSite->SetSite(static_cast<IOleWindow*>(&noWindow)), E_FAIL);
    EXPECT_EQ(UtilityWindow(), nullptr);
    CTestSite deadWindow(reinterpret_cast<HWND>(0x1234), true, true);
    EXPECT_EQ(pWithSite->SetSite(static_cast<IOleWindow*>(&deadWindow)), E_FAIL);
    EXPECT_EQ(UtilityWindow(), nullptr);

    CTestSite noInputSite(taskbar.m_hwnd, true, false);
    EXPECT_EQ(pWithSite->SetSite(static_cast<IOleWindow*>(&noInputSite)), E_FAIL);
    EXPECT_NE(UtilityWindow(), nullptr) << "the windows stay";
    EXPECT_EQ(pWithSite->GetSite(IID_IUnknown, &pv), E_FAIL);
    pWithSite->Release();
    pBand->Release();
    EXPECT_EQ(noWindow.m_cRef + deadWindow.m_cRef + noInputSite.m_cRef, 0u);
}

TEST_F(DeskbandTest, HostFindsTheBandAndGetsOneSnapshotWhileRegistering)
{
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    HostReport report = host.Report();
    EXPECT_EQ(report.answers.hwndUtility, m_hwndUtility);
    EXPECT_EQ(report.answers.hwndBand, m_hwndBand);
    EXPECT_EQ(report.answers.dwViewMode, 0u);
    EXPECT_EQ(report.answers.crBkgnd, 0u);
    EXPECT_EQ(report.answers.cDuringRegister, 1u);
    ASSERT_EQ(report.snapshots.size(), 1u);
    ExpectSnapshot(report.snapshots[0], m_hwndUtility, kTaskbarWidth, kTaskbarHeight, 0, 0, 0);

    DESKBANDINFO dbi = {};
    dbi.dwMask = DBIM_BKCOLOR;
    dbi.crBkgnd = RGB(0xAB, 0xCD, 0xEF);
    m_pBand->GetBandInfo(1, DBIF_VIEWMODE_VERTICAL, &dbi);
    ASSERT_TRUE(host.Register());
    report = host.Report();
    EXPECT_EQ(report.answers.dwViewMode, DBIF_VIEWMODE_VERTICAL);
    EXPECT_EQ(report.answers.crBkgnd, RGB(0xAB, 0xCD, 0xEF));
    ASSERT_EQ(report.snapshots.size(), 1u);
    ExpectSnapshot(report.snapshots[0], m_hwndUtility, kTaskbarWidth, kTaskbarHeight, DBIF_VIEWMODE_VERTICAL, 0, 0);
}

TEST_F(DeskbandTest, ResizesAndThemeChangesSendFreshSnapshots)
{
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    host.Report();

    ResizeBand(0, 0, 60, 20, SWP_NOMOVE);
    HostReport report = host.Report();
    ASSERT_EQ(report.snapshots.size(), 1u);
    ExpectSnapshot(report.snapshots[0], m_hwndUtility, 60, 20, 0, 0, 0);

    ResizeBand(10, 5, 0, 0, SWP_NOSIZE);
    EXPECT_EQ(host.Report().snapshots.size(), 0u) << "a move alone sends nothing";
    ResizeBand(10, 5, 50, 10);
    report = host.Report();
    ASSERT_EQ(report.snapshots.size(), 1u);
    ExpectSnapshot(report.snapshots[0], m_hwndUtility, 50, 10, 0, 10, 5);

    for (UINT uMsg : {WM_THEMECHANGED, WM_SYSCOLORCHANGE, WM_DWMCOLORIZATIONCOLORCHANGED, WM_DWMCOMPOSITIONCHANGED}) {
        Ask(uMsg);
        PumpMessages();
        report = host.Report();
        ASSERT_EQ(report.snapshots.size(), 1u) << "message " << uMsg;
        ExpectSnapshot(report.snapshots[0], m_hwndUtility, 50, 10, 0, 10, 5);
    }

    ResizeBand(10, 5, 0, 10);
    report = host.Report();
    ASSERT_EQ(report.snapshots.size(), 1u);
    ExpectSnapshot(report.snapshots[0], m_hwndUtility, 0, 10, 0, 0, 0);
}

TEST_F(DeskbandTest, UnregisteredOrVanishedHostGetsNothing)
{
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    Ask(WM_DESKBAND_SETHOSTWINDOW, 0);
    Ask(WM_THEMECHANGED);
    PumpMessages();
    EXPECT_EQ(host.Report().snapshots.size(), 1u) << "only the registration's snapshot";

    ASSERT_TRUE(host.Register());
    const HWND hwndGone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    DestroyWindow(hwndGone);
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(hwndGone));
    Ask(WM_THEMECHANGED);
    ResizeBand(0, 0, 30, 30);
    EXPECT_EQ(host.Report().snapshots.size(), 1u) << "only the registration's snapshot";
}

// The taskbar's thread waits for a host that handles no messages only for a while, and then
// forgets it; the snapshot it gave up on may still reach the host late.
TEST_F(DeskbandTest, HostThatDoesNotAnswerIsForgottenInsteadOfFreezingTheBand)
{
    CHostProcess host;
    ASSERT_TRUE(host.Hang());
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(host.m_hwnd));
    host.Resume();
    Ask(WM_THEMECHANGED);
    PumpMessages();
    Ask(WM_SYSCOLORCHANGE);
    PumpMessages();
    EXPECT_LE(host.Report().snapshots.size(), 1u);
}

TEST_F(DeskbandTest, BandTooLargeForPixelMemorySendsNothing)
{
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    host.Report();
    ResizeBand(0, 0, 30000, 30000);
    EXPECT_EQ(host.Report().snapshots.size(), 0u);
    ResizeBand(0, 0, 20, 20);
    EXPECT_EQ(host.Report().snapshots.size(), 1u);
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
    const HostReport report = host.Report();
    ASSERT_EQ(report.snapshots.size(), 1u);
    const Snapshot& snapshot = report.snapshots[0];
    ASSERT_EQ(snapshot.info.cbData, 52u + 4u * kTaskbarWidth * kTaskbarHeight);
    for (int i = 0; i < kTaskbarWidth * kTaskbarHeight; ++i)
        ASSERT_EQ(snapshot.Pixel(i, 0), AsDibPixel(GetSysColor(COLOR_BTNFACE))) << "pixel " << i;
}
