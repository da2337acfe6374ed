// The desk band driven as the shell and the host drive it: created through the library's
// exports, sited on a test taskbar window, queried through the utility window, with a host
// window in a second process whose snapshots the test collects.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "CHostProcess.h"
#include "CSitedBandTest.h"

namespace
{
const IID kIidDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
const int kTaskbarWidth = CTestTaskbar::kDefaultWidth;
const int kTaskbarHeight = CTestTaskbar::kDefaultHeight;

using DeskbandTest = CSitedBandTest;

// A host window of the band's own process, as one in the shell's process would be: WM_COPYDATA
// hands it the band's block itself, not a copy. While it reads the block it has the band moved,
// repainted and closed, and notes whether the block stayed as it was.
HWND g_hwndRepaintedBand;
IDeskBand* g_pBandToClose;
bool g_fBlockUnchanged;

LRESULT CALLBACK InProcessHostProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != WM_COPYDATA)
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    const auto pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const auto pbBlock = static_cast<const BYTE*>(pcds->lpData);
    const std::vector<BYTE> before(pbBlock, pbBlock + pcds->cbData);
    SetWindowPos(g_hwndRepaintedBand, nullptr, 20, 3, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const HDC hdc = CreateCompatibleDC(nullptr);
    SendMessageA(g_hwndRepaintedBand, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    DeleteDC(hdc);
    g_pBandToClose->CloseDW(0);
    GdiFlush();
    g_fBlockUnchanged = memcmp(before.data(), pbBlock, before.size()) == 0;
    return TRUE;
}
}

TEST_F(DeskbandTest, BandInfoFollowsViewModeAndMask)
{
    // The view modes are flags, but only vertical alone is the vertical layout.
    for (DWORD dwViewMode :
         {DBIF_VIEWMODE_NORMAL, DBIF_VIEWMODE_VERTICAL, DBIF_VIEWMODE_VERTICAL | DBIF_VIEWMODE_FLOATING,
          DBIF_VIEWMODE_VERTICAL | DBIF_VIEWMODE_TRANSPARENT, DBIF_VIEWMODE_FLOATING, DBIF_VIEWMODE_TRANSPARENT}) {
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
    // Both windows belong to the library's own instance, and only the shell closes them.
    for (HWND hwnd : {m_hwndUtility, m_hwndBand}) {
        EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(Veltrix().hModule));
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
    }
    EXPECT_TRUE(IsSited());

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
    // A site whose last release calls back into the band finds it without a site already, so
    // it is released once, not again from inside its own release.
    void* pv = &pv;
    HRESULT hrGetSite = E_PENDING;
    m_site.m_fnOnRelease = [&] {
        if (m_site.m_cRef == 0 && hrGetSite == E_PENDING) {
            hrGetSite = m_pWithSite->GetSite(IID_IUnknown, &pv);
            m_pWithSite->SetSite(nullptr);
        }
    };
    EXPECT_EQ(m_pWithSite->SetSite(nullptr), S_OK);
    m_site.m_fnOnRelease = nullptr;
    EXPECT_TRUE(hrGetSite == E_FAIL && pv == nullptr);
    EXPECT_EQ(m_site.m_cRef, 0u);

    // Unsited, the band takes only a site with a live window and an input site.
    CTestSite noWindow(m_taskbar.m_hwnd, IID_IOleWindow), deadWindow(reinterpret_cast<HWND>(0x1234)),
        failingWindow(m_taskbar.m_hwnd);
    failingWindow.m_hrGetWindow = E_FAIL;
    for (CTestSite* pSite : {&noWindow, &deadWindow, &failingWindow}) {
        EXPECT_EQ(m_pWithSite->SetSite(pSite->Unknown()), E_FAIL);
        EXPECT_EQ(UtilityWindow(), nullptr);
    }
    CTestSite noInputSite(m_taskbar.m_hwnd, IID_IInputObjectSite);
    EXPECT_EQ(m_pWithSite->SetSite(noInputSite.Unknown()), E_FAIL);
    EXPECT_NE(UtilityWindow(), nullptr) << "the windows stay";
    EXPECT_EQ(m_pWithSite->GetSite(IID_IUnknown, &pv), E_FAIL);
    ReleaseBand();
    EXPECT_EQ(noWindow.m_cRef + deadWindow.m_cRef + failingWindow.m_cRef + noInputSite.m_cRef, 0u);
}

TEST_F(DeskbandTest, SitingAgainReplacesTheEarlierWindowsAndForgetsTheHost)
{
    CHostProcess host;
    ASSERT_EQ(host.Register(), m_hwndUtility);
    CTestTaskbar taskbar;
    CTestSite site(taskbar.m_hwnd);
    ASSERT_EQ(m_pWithSite->SetSite(site.Unknown()), S_OK);
    EXPECT_FALSE(IsWindow(m_hwndBand) || IsWindow(m_hwndUtility));
    EXPECT_EQ(m_site.m_cRef, 0u);
    EXPECT_TRUE(UtilityWindow() && !FindUtilityWindowOf(GetCurrentProcessId(), UtilityWindow()));
    HWND hwndBand = nullptr;
    m_pBand->GetWindow(&hwndBand);
    EXPECT_EQ(GetParent(hwndBand), taskbar.m_hwnd);
    SendMessageA(UtilityWindow(), WM_THEMECHANGED, 0, 0);
    PumpMessages();
    EXPECT_EQ(host.Report().size(), 1u) << "only the first siting's snapshot";
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
    // The band takes whatever rectangle a WM_WINDOWPOSCHANGED reports (the snapshots below show
    // where it is now).
    WINDOWPOS wp = {m_hwndBand, nullptr, 10, 5, 50, 10, SWP_NOZORDER};
    SendMessageA(m_hwndBand, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    PumpMessages();
    EXPECT_FALSE(host.Report().empty());
    for (UINT uMsg : {WM_THEMECHANGED, WM_SYSCOLORCHANGE, WM_DWMCOLORIZATIONCOLORCHANGED, WM_DWMCOMPOSITIONCHANGED}) {
        SCOPED_TRACE(uMsg);
        Ask(uMsg);
        PumpMessages();
        ExpectOneSnapshot(host, 50, 10, 0, 10, 5);
    }
    // Partly past the taskbar's edges, where nothing paints: the surface of the last snapshot,
    // which has the same size, serves again, as empty as a new one.
    ResizeBand(180, 35, 0, 0, SWP_NOSIZE);
    Ask(WM_THEMECHANGED);
    PumpMessages();
    ExpectOneSnapshot(host, 50, 10, 0, 180, 35);
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

// A host that asks again from inside its WM_COPYDATA handler gets that snapshot after the
// handler has returned, never nested inside it (the test host passes no nested one on).
TEST_F(DeskbandTest, HostAskingAgainWhileHandlingASnapshotGetsItAfterwards)
{
    CHostProcess host;
    ASSERT_TRUE(host.Arm(host.m_hwnd, false));
    ASSERT_EQ(host.Register(), m_hwndUtility);
    ExpectOneSnapshot(host, kTaskbarWidth, kTaskbarHeight);
    PumpMessages();
    ExpectOneSnapshot(host, kTaskbarWidth, kTaskbarHeight);
}

// The taskbar's thread waits 2 seconds for a host that does not take its snapshot, then
// forgets it; a host registered during the wait (here by the hanging one, from inside its
// snapshot handler) keeps its registration and gets its snapshot once the wait is over.
TEST_F(DeskbandTest, HostThatDoesNotAnswerIsForgottenButNotOneRegisteredMeanwhile)
{
    CHostProcess hanging, second;
    ASSERT_TRUE(hanging.Arm(second.m_hwnd, true));
    const DWORD dwStart = GetTickCount();
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(hanging.m_hwnd));
    EXPECT_GE(GetTickCount() - dwStart, 1500u);
    hanging.Resume();
    PumpMessages();
    ExpectOneSnapshot(second, kTaskbarWidth, kTaskbarHeight);
    Ask(WM_THEMECHANGED);
    PumpMessages();
    ExpectOneSnapshot(second, kTaskbarWidth, kTaskbarHeight);
    EXPECT_LE(hanging.Report().size(), 1u) << "only the snapshot it hung in";
}

// Erasing the band window paints the parent's background into the context the erase comes
// with, here a printing one, and never into the surface, whose block a host may be reading.
TEST_F(DeskbandTest, ErasePaintsIntoTheContextGivenNeverIntoABlockBeingRead)
{
    ResizeBand(10, 5, 50, 10);
    const BITMAPINFO bmi = TopDownDib(50, 10);
    void* pvBits = nullptr;
    const HDC hdc = CreateCompatibleDC(nullptr);
    const HBITMAP hBitmap = CreateDIBSection(hdc, &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0);
    const HGDIOBJ hOld = SelectObject(hdc, hBitmap);
    EXPECT_TRUE(PrintWindow(m_hwndBand, hdc, PW_CLIENTONLY));
    GdiFlush(); // GDI batches its drawing: the pixels are in memory once flushed
    ExpectPattern(static_cast<const DWORD*>(pvBits), 50, 10, 10, 5, CLR_INVALID);
    SelectObject(hdc, hOld);
    DeleteDC(hdc);
    DeleteObject(hBitmap);

    g_hwndRepaintedBand = m_hwndBand;
    g_pBandToClose = m_pBand;
    const HWND hwndHost = CreateHiddenWindow("DeskbandTestInProcessHost", InProcessHostProc, 0, 0);
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(hwndHost));
    EXPECT_TRUE(g_fBlockUnchanged);
    DestroyWindow(hwndHost);
}

// Only the container can take a band window along (no one else can close either window); the
// band then forgets it at once, sends no snapshot and posts nothing to no window.
TEST_F(DeskbandTest, BandWindowDestroyedWithItsContainerIsForgotten)
{
    CHostProcess host;
    ASSERT_EQ(host.Register(), m_hwndUtility);
    EXPECT_EQ(host.Report().size(), 1u);
    DestroyWindow(m_taskbar.m_hwnd);
    HWND hwnd = m_hwndBand;
    EXPECT_TRUE(m_pBand->GetWindow(&hwnd) == S_OK && hwnd == nullptr);
    EXPECT_EQ(Ask(WM_DESKBAND_GETBANDWINDOW), 0);
    Ask(WM_THEMECHANGED);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE)) << "a message posted to no window";
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(host.m_hwnd));
    PumpMessages();
    EXPECT_EQ(host.Report().size(), 0u);
}

// Windows die with the thread that made them, without a message; closing the band afterwards
// still leaves it no window to hand out.
TEST_F(DeskbandTest, WindowsThatDiedWithTheirThreadAreGoneAfterCloseDW)
{
    ASSERT_EQ(m_pBand->CloseDW(0), S_OK);
    std::atomic<bool> fSited(false);
    std::thread siting([&] {
        EXPECT_EQ(m_pWithSite->SetSite(m_site.Unknown()), S_OK);
        fSited = true;
    });
    while (!fSited) // the new band window's parent, ours, hears of it
        PumpMessages();
    siting.join();
    EXPECT_EQ(UtilityWindow(), nullptr);
    EXPECT_EQ(m_pBand->CloseDW(0), S_OK);
    HWND hwnd = m_hwndBand;
    EXPECT_TRUE(m_pBand->GetWindow(&hwnd) == S_OK && hwnd == nullptr);
}

// With the process's GDI handles used up but one, the surface gets its DIB section and no
// device context: a surface without one has no pixels, and nothing is sent.
TEST_F(DeskbandTest, SurfaceWithoutDeviceContextSendsNothing)
{
    CHostProcess host;
    std::vector<HRGN> fillers;
    while (const HRGN hrgn = CreateRectRgn(0, 0, 1, 1))
        fillers.push_back(hrgn);
    DeleteObject(fillers.back());
    fillers.pop_back();
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(host.m_hwnd));
    for (HRGN hrgn : fillers)
        DeleteObject(hrgn);
    EXPECT_EQ(host.Report().size(), 0u);
    Ask(WM_THEMECHANGED);
    PumpMessages();
    ExpectOneSnapshot(host, kTaskbarWidth, kTaskbarHeight);
}

// A host written in C against the protocol header, run as a second process.
TEST_F(DeskbandTest, HostWrittenInCFindsTheBandAndChecksItsSnapshot)
{
    CChildProcess host("deskband_c_host.exe", std::to_string(GetCurrentProcessId()));
    EXPECT_EQ(host.ExitCode(30000), 0u);
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
