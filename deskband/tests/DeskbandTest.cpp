// The desk band driven as the shell and a host drive it: created through the library's exports,
// sited on a test taskbar window, queried through its utility window, with the test host in a
// second process passing on the snapshots it gets; and under long use and a hostile host.
#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

#include <stdlib.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CHostProcess.h"
#include "CScopedGdiObject.h"
#include "CScopedMemoryDC.h"
#include "CScopedSelection.h"
#include "CSitedBand.h"

namespace
{
const int kcx = CTestSite::kcxTaskbar, kcy = CTestSite::kcyTaskbar;

std::pair<LONG, LONG> XY(POINTL pt)
{
    return {pt.x, pt.y};
}

// Seconds for the long runs of `make stress` (scripts/run-stress); 0 in `make test`.
unsigned StressSeconds()
{
    const char* pszSeconds = getenv("STRESS_SECONDS");
    return pszSeconds ? strtoul(pszSeconds, nullptr, 10) : 0;
}

// The process's GDI objects. Wine leaves GetGuiResources unimplemented (it answers 0); its GDI
// handles carry their table index in the low word and are also accepted by that alone, so
// there the live objects are counted by index.
int GdiObjectCount()
{
    if (const DWORD cObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return static_cast<int>(cObjects);
    int cObjects = 0;
    for (ULONG_PTR uIndex = 1; uIndex < 0x10000; ++uIndex)
        cObjects += GetObjectType(reinterpret_cast<HGDIOBJ>(uIndex)) != 0 ? 1 : 0;
    return cObjects;
}

class DeskbandTest : public ::testing::Test, protected CSitedBand
{
protected:
    void SetUp() override { ASSERT_TRUE(IsSited()); }
    // Let go of, the band leaves no window and no reference to its site behind.
    void TearDown() override
    {
        ReleaseBand();
        EXPECT_FALSE(IsWindow(m_hwndBand) || FindUtilityWindowOf(GetCurrentProcessId()));
        EXPECT_EQ(m_site.m_cRef, 0u);
    }

    // The host got cSnapshots blocks from the utility window since the last report, each exactly
    // a cx x cy snapshot: header words, zeroed reserved bytes and spare word, and the pixels of
    // the taskbar behind a band at (x, y).
    void ExpectSnapshots(CHostProcess& host, size_t cSnapshots, int cx = 0, int cy = 0, int x = 0, int y = 0,
                         DWORD dwViewMode = 0, DWORD dwFill = CLR_INVALID)
    {
        const std::vector<Snapshot> snapshots = host.Report();
        ASSERT_EQ(snapshots.size(), cSnapshots);
        for (const Snapshot& snapshot : snapshots) {
            EXPECT_EQ(snapshot.hwndSender, m_hwndUtility);
            ASSERT_EQ(snapshot.cbData, 52u + 4u * cx * cy);
            EXPECT_EQ(std::vector<DWORD>(snapshot.words.begin(), snapshot.words.begin() + 12),
                      (std::vector<DWORD>{52, DWORD(cx), DWORD(cy), dwViewMode, 0, 0, 0, 0, 0, 0, 0, 0}));
            EXPECT_EQ(snapshot.words.back(), 0u) << "spare word";
            ExpectPattern(&snapshot.words[12], cx, cy, x, y, dwFill);
        }
    }
    // The taskbar's pattern behind a band at (x, y), or dwFill. Past the taskbar's edges nothing
    // paints: there the pixels are zero, as in a new bitmap. The fourth byte is not looked at.
    static void ExpectPattern(const DWORD* pdwPixels, int cx, int cy, int x, int y, DWORD dwFill = CLR_INVALID)
    {
        for (int i = 0; i < cx * cy; ++i) {
            const int xAt = i % cx + x, yAt = i / cx + y;
            const DWORD dwExpected = dwFill != CLR_INVALID ? dwFill : xAt < kcx && yAt < kcy ? PatternAt(xAt, yAt) : 0;
            if ((pdwPixels[i] & 0xFFFFFF) != dwExpected)
                return ADD_FAILURE() << "pixel " << i % cx << "," << i / cx << " is " << std::hex << pdwPixels[i];
        }
    }
};

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
    CScopedMemoryDC dc(nullptr);
    SendMessageA(g_hwndRepaintedBand, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
    (void)g_pBandToClose->CloseDW(0);
    GdiFlush();
    g_fBlockUnchanged = memcmp(before.data(), pbBlock, before.size()) == 0;
    return TRUE;
}
}

// The view modes are flags, but only vertical alone is the vertical layout.
TEST_F(DeskbandTest, BandInfoFollowsViewModeAndMask)
{
    const POINTL kHorizontal[] = {{32, 16}, {80, 16}}, kVertical[] = {{16, 32}, {16, 40}}; // minimum, actual
    const struct
    {
        const char* pszLabel;
        DWORD dwViewMode;
        const POINTL* pSizes;
    } rows[] = {
        {"horizontal", DBIF_VIEWMODE_NORMAL, kHorizontal},
        {"vertical", DBIF_VIEWMODE_VERTICAL, kVertical},
        {"vertical floating", DBIF_VIEWMODE_VERTICAL | DBIF_VIEWMODE_FLOATING, kHorizontal},
        {"vertical transparent", DBIF_VIEWMODE_VERTICAL | DBIF_VIEWMODE_TRANSPARENT, kHorizontal},
        {"floating", DBIF_VIEWMODE_FLOATING, kHorizontal},
        {"transparent", DBIF_VIEWMODE_TRANSPARENT, kHorizontal},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszLabel);
        DESKBANDINFO dbi = {};
        dbi.dwMask = 0x7F; // every member
        dbi.crBkgnd = RGB(1, 2, row.dwViewMode);
        dbi.wszTitle[0] = L'x';
        ASSERT_EQ(m_pBand->GetBandInfo(7, row.dwViewMode, &dbi), S_OK);
        EXPECT_EQ(dbi.dwMask, 0x3Fu) << "the container paints the background colour";
        EXPECT_EQ(XY(dbi.ptMinSize), XY(row.pSizes[0]));
        EXPECT_EQ(XY(dbi.ptActual), XY(row.pSizes[1]));
        EXPECT_EQ(XY(dbi.ptMaxSize), XY(POINTL{-1, -1}));
        EXPECT_EQ(XY(dbi.ptIntegral), XY(POINTL{1, 1}));
        EXPECT_TRUE(dbi.wszTitle[0] == L'\0' && dbi.dwModeFlags == DBIMF_VARIABLEHEIGHT);
        EXPECT_EQ(Ask(WM_DESKBAND_GETVIEWMODE), static_cast<LRESULT>(row.dwViewMode));
        EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), static_cast<LRESULT>(dbi.crBkgnd));
    }

    // Unmasked members stay as they are, the colour among them; without a structure only the
    // view mode is taken.
    DESKBANDINFO dbi;
    memset(&dbi, 0xCD, sizeof(dbi));
    dbi.dwMask = DBIM_ACTUAL;
    ASSERT_EQ(m_pBand->GetBandInfo(8, DBIF_VIEWMODE_VERTICAL, &dbi), S_OK);
    EXPECT_TRUE(dbi.dwMask == DBIM_ACTUAL && dbi.ptActual.x == 16 && dbi.ptMinSize.x == LONG(0xCDCDCDCD));
    EXPECT_EQ(Ask(WM_DESKBAND_GETBKCOLOR), static_cast<LRESULT>(RGB(1, 2, DBIF_VIEWMODE_TRANSPARENT)));
    EXPECT_EQ(m_pBand->GetBandInfo(9, DBIF_VIEWMODE_FLOATING, nullptr), S_OK);
    EXPECT_EQ(Ask(WM_DESKBAND_GETVIEWMODE), DBIF_VIEWMODE_FLOATING);
}

TEST_F(DeskbandTest, InterfacesShareOneIdentityAndGiveTheirPlainResults)
{
    CComRef<IUnknown> pIdentity;
    ASSERT_EQ(m_pBand->QueryInterface(IID_IUnknown, pIdentity.ReceiveVoid()), S_OK);
    for (const IID* piid : {&kIidDeskband, &IID_IDispatch, &IID_IOleWindow, &IID_IDockingWindow, &IID_IDeskBand,
                            &IID_IObjectWithSite, &IID_IPersist, &IID_IPersistStream}) {
        CComRef<IUnknown> pPart, pPartIdentity;
        ASSERT_EQ(m_pBand->QueryInterface(*piid, pPart.ReceiveVoid()), S_OK) << piid->Data1;
        EXPECT_TRUE(pPart->QueryInterface(IID_IUnknown, pPartIdentity.ReceiveVoid()) == S_OK &&
                    pPartIdentity.Get() == pIdentity.Get())
            << piid->Data1;
    }

    CComRef<IPersistStream> pPersist;
    ASSERT_EQ(m_pBand->QueryInterface(IID_IPersistStream, pPersist.ReceiveVoid()), S_OK);
    void* pv = &pv;
    CLSID clsid = {};
    const struct
    {
        const char* pszCall;
        HRESULT hr;
        HRESULT hrExpected;
    } calls[] = {
        {"QueryInterface(IInputObject)", m_pBand->QueryInterface(IID_IInputObject, &pv), E_NOINTERFACE},
        {"GetClassID", pPersist->GetClassID(&clsid), S_OK},
        {"IsDirty", pPersist->IsDirty(), S_FALSE},
        {"Load", pPersist->Load(nullptr), S_OK},
        {"Save", pPersist->Save(nullptr, TRUE), S_OK},
        {"GetSizeMax", pPersist->GetSizeMax(nullptr), E_NOTIMPL},
        {"ResizeBorderDW", m_pBand->ResizeBorderDW(nullptr, nullptr, FALSE), E_NOTIMPL},
        {"GetClassID(nullptr)", pPersist->GetClassID(nullptr), E_POINTER},
        {"GetWindow(nullptr)", m_pBand->GetWindow(nullptr), E_INVALIDARG},
        {"GetSite(nullptr)", m_pWithSite->GetSite(IID_IInputObjectSite, nullptr), E_POINTER},
    };
    for (const auto& call : calls)
        EXPECT_EQ(call.hr, call.hrExpected) << call.pszCall;
    EXPECT_TRUE(pv == nullptr && IsEqualCLSID(clsid, kClsidDeskband));
    ASSERT_EQ(m_pWithSite->GetSite(IID_IInputObjectSite, &pv), S_OK);
    EXPECT_EQ(pv, static_cast<IInputObjectSite*>(&m_site));
    static_cast<IUnknown*>(pv)->Release();
}

// Both windows belong to the library's own instance and live until CloseDW; the closed band
// keeps its site until it is unsited.
TEST_F(DeskbandTest, WindowsLiveFromSitingToCloseDW)
{
    EXPECT_EQ(GetWindowLongA(m_hwndUtility, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(Ask(WM_DESKBAND_GETBANDWINDOW), reinterpret_cast<LRESULT>(m_hwndBand));
    EXPECT_TRUE(Ask(WM_DESKBAND_GETVIEWMODE) == 0 && Ask(WM_DESKBAND_GETBKCOLOR) == 0) << "nothing reported yet";
    for (HWND hwnd : {m_hwndUtility, m_hwndBand})
        EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(m_library.Module()));
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
            (void)m_pWithSite->SetSite(nullptr);
        }
    };
    EXPECT_EQ(m_pWithSite->SetSite(nullptr), S_OK);
    m_site.m_fnOnRelease = nullptr;
    EXPECT_TRUE(hrGetSite == E_FAIL && pv == nullptr);
    EXPECT_EQ(m_site.m_cRef, 0u);
}

// The band takes only a site with a live container window and an input site, and holds none
// of the others.
TEST_F(DeskbandTest, SitesWithoutALiveContainerOrAnInputSiteAreRefused)
{
    const HWND hwndGone = CreateHiddenWindow("DeskbandTestGone", DefWindowProcA, 0, 0);
    DestroyWindow(hwndGone);
    const struct
    {
        const char* pszLabel;
        const IID* piidWithheld;
        HWND hwnd;
        HRESULT hrGetWindow;
    } rows[] = {
        {"no IOleWindow", &IID_IOleWindow, nullptr, S_OK},
        {"a container that has gone", &IID_NULL, hwndGone, S_OK},
        {"GetWindow failing", &IID_NULL, nullptr, E_FAIL}, // which writes the container all the same
        {"no IInputObjectSite", &IID_IInputObjectSite, nullptr, S_OK},
    };
    for (const auto& row : rows) {
        CTestSite site(kcx, kcy, *row.piidWithheld);
        site.m_hwnd = row.hwnd ? row.hwnd : site.m_hwnd;
        site.m_hrGetWindow = row.hrGetWindow;
        void* pv = &pv;
        EXPECT_EQ(m_pWithSite->SetSite(site.Unknown()), E_FAIL) << row.pszLabel;
        EXPECT_TRUE(m_pWithSite->GetSite(IID_IUnknown, &pv) == E_FAIL && site.m_cRef == 0) << row.pszLabel;
        EXPECT_EQ(m_pBand->CloseDW(0), S_OK);
    }
}

TEST_F(DeskbandTest, SitingAgainReplacesTheEarlierWindowsAndForgetsTheHost)
{
    CHostProcess host;
    ASSERT_EQ(host.Register(), m_hwndUtility);
    CTestSite site;
    ASSERT_EQ(m_pWithSite->SetSite(site.Unknown()), S_OK);
    EXPECT_FALSE(IsWindow(m_hwndBand) || IsWindow(m_hwndUtility));
    EXPECT_EQ(m_site.m_cRef, 0u);
    HWND hwndBand = nullptr;
    EXPECT_TRUE(m_pBand->GetWindow(&hwndBand) == S_OK && GetParent(hwndBand) == site.m_hwndTaskbar);
    SendMessageA(FindUtilityWindowOf(GetCurrentProcessId()), WM_THEMECHANGED, 0, 0);
    PumpMessages();
    EXPECT_EQ(host.Report().size(), 1u) << "only the first siting's snapshot";
    ReleaseBand();
    EXPECT_EQ(site.m_cRef, 0u);
}

// Each step changes something, and the host then has the snapshots it names: how many, of
// which size, from which place of the taskbar.
TEST_F(DeskbandTest, HostGetsOneSnapshotWhileRegisteringAndAfterEachChange)
{
    CHostProcess host;
    const auto refresh = [this](UINT uMsg) {
        return [this, uMsg] {
            Ask(uMsg);
            PumpMessages();
        };
    };
    const struct
    {
        const char* pszLabel;
        std::function<void()> fnChange;
        size_t cSnapshots;
        int cx = 0, cy = 0, x = 0, y = 0;
        DWORD dwViewMode = 0;
    } steps[] = {
        {"registration", [&] { EXPECT_EQ(host.Register(), m_hwndUtility); }, 1, kcx, kcy, 0, 0, 0},
        {"registration in the vertical mode",
         [&] {
             (void)m_pBand->GetBandInfo(1, DBIF_VIEWMODE_VERTICAL, nullptr);
             host.Register();
         },
         1, kcx, kcy, 0, 0, DBIF_VIEWMODE_VERTICAL},
        {"resize",
         [&] {
             (void)m_pBand->GetBandInfo(1, DBIF_VIEWMODE_NORMAL, nullptr);
             ResizeBand(0, 0, 60, 20, SWP_NOMOVE);
         },
         1, 60, 20, 0, 0, 0},
        {"a move alone", [&] { ResizeBand(10, 5, 0, 0, SWP_NOSIZE); }, 0},
        // The band takes the rectangle a WM_WINDOWPOSCHANGED reports: the report and the band's
        // own move to it each bring a snapshot.
        {"a reported rectangle",
         [&] {
             WINDOWPOS wp = {m_hwndBand, nullptr, 10, 5, 50, 10, SWP_NOZORDER};
             SendMessageA(m_hwndBand, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
             PumpMessages();
         },
         2, 50, 10, 10, 5, 0},
        {"WM_THEMECHANGED", refresh(WM_THEMECHANGED), 1, 50, 10, 10, 5, 0},
        {"WM_SYSCOLORCHANGE", refresh(WM_SYSCOLORCHANGE), 1, 50, 10, 10, 5, 0},
        {"WM_DWMCOLORIZATIONCOLORCHANGED", refresh(WM_DWMCOLORIZATIONCOLORCHANGED), 1, 50, 10, 10, 5, 0},
        {"WM_DWMCOMPOSITIONCHANGED", refresh(WM_DWMCOMPOSITIONCHANGED), 1, 50, 10, 10, 5, 0},
        // The surface of the last snapshot, of the same size, serves again, as empty as a new one.
        {"partly past the taskbar's edges",
         [&] {
             ResizeBand(180, 35, 0, 0, SWP_NOSIZE);
             refresh(WM_THEMECHANGED)();
         },
         1, 50, 10, 180, 35, 0},
        // (A 64-bit process would make and send the 3.6 GB.)
        {"beyond a 32-bit process's memory",
         [&] {
             if (sizeof(void*) == 4)
                 ResizeBand(0, 0, 30000, 30000);
         },
         0},
        {"empty", [&] { ResizeBand(0, 0, 0, 10); }, 1, 0, 10, 0, 0, 0},
        {"unregistered",
         [&] {
             Ask(WM_DESKBAND_SETHOSTWINDOW, 0);
             refresh(WM_THEMECHANGED)();
         },
         0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.pszLabel);
        step.fnChange();
        ExpectSnapshots(host, step.cSnapshots, step.cx, step.cy, step.x, step.y, step.dwViewMode);
    }
}

// The taskbar's thread waits 2 seconds for a host that does not take its snapshot, then
// forgets it.
TEST_F(DeskbandTest, HostThatDoesNotAnswerIsForgottenAfterTwoSeconds)
{
    CHostProcess host;
    host.HangInNextSnapshot();
    const DWORD dwStart = GetTickCount();
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(host.m_hwnd));
    EXPECT_GE(GetTickCount() - dwStart, 1500u);
    host.Resume();
    Ask(WM_THEMECHANGED);
    PumpMessages();
    EXPECT_LE(host.Report().size(), 1u) << "only the snapshot it hung in";
}

// Erasing the band window paints the parent's background into the context the erase comes
// with, here a printing one, and never into the surface, whose block a host may be reading.
TEST_F(DeskbandTest, ErasePaintsIntoTheContextGivenNeverIntoABlockBeingRead)
{
    ResizeBand(10, 5, 50, 10);
    const BITMAPINFO bmi = TopDownDib(50, 10);
    void* pvBits = nullptr;
    CScopedMemoryDC dc(nullptr);
    CScopedGdiObject<HBITMAP> bitmap(CreateDIBSection(dc.Get(), &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0));
    CScopedSelection selection(dc.Get(), bitmap.Get());
    EXPECT_TRUE(PrintWindow(m_hwndBand, dc.Get(), PW_CLIENTONLY));
    GdiFlush(); // GDI batches its drawing: the pixels are in memory once flushed
    ExpectPattern(static_cast<const DWORD*>(pvBits), 50, 10, 10, 5);

    g_hwndRepaintedBand = m_hwndBand;
    g_pBandToClose = m_pBand.Get();
    const HWND hwndHost = CreateHiddenWindow("DeskbandTestInProcessHost", InProcessHostProc, 0, 0);
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(hwndHost));
    EXPECT_TRUE(g_fBlockUnchanged);
    DestroyWindow(hwndHost);
}

// Only the container can take the band window along (no one else can close either window), and
// windows die without a message with the thread that made them: the band forgets such windows
// at once, hands out no dead one, sends no snapshot and posts nothing to no window.
TEST_F(DeskbandTest, WindowsDestroyedBehindItsBackAreForgotten)
{
    CHostProcess host;
    ASSERT_EQ(host.Register(), m_hwndUtility);
    EXPECT_EQ(host.Report().size(), 1u);
    DestroyWindow(m_site.m_hwndTaskbar);
    HWND hwnd = m_hwndBand;
    EXPECT_TRUE(m_pBand->GetWindow(&hwnd) == S_OK && hwnd == nullptr);
    EXPECT_EQ(Ask(WM_DESKBAND_GETBANDWINDOW), 0);
    Ask(WM_THEMECHANGED);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE)) << "a message posted to no window";
    Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(host.m_hwnd));
    PumpMessages();
    EXPECT_EQ(host.Report().size(), 0u);

    ASSERT_EQ(m_pBand->CloseDW(0), S_OK);
    CTestSite site;
    std::atomic<bool> fSited(false);
    std::thread siting([&] {
        EXPECT_EQ(m_pWithSite->SetSite(site.Unknown()), S_OK);
        fSited = true;
    });
    while (!fSited) // the new band window's parent, ours, hears of it
        PumpMessages();
    siting.join();
    EXPECT_EQ(FindUtilityWindowOf(GetCurrentProcessId()), nullptr);
    EXPECT_EQ(m_pBand->CloseDW(0), S_OK);
    EXPECT_TRUE(m_pBand->GetWindow(&hwnd) == S_OK && hwnd == nullptr);
    EXPECT_EQ(m_pWithSite->SetSite(nullptr), S_OK);
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
    ExpectSnapshots(host, 0);
    Ask(WM_THEMECHANGED);
    PumpMessages();
    ExpectSnapshots(host, 1, kcx, kcy);
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
    const COLORREF cr = GetSysColor(COLOR_BTNFACE);
    ExpectSnapshots(host, 1, kcx, kcy, 0, 0, 0, GetRValue(cr) << 16 | GetGValue(cr) << 8 | GetBValue(cr));
}

// Thousands of random messages from the hostile host (HostileHost.cpp) in `make test`;
// STRESS_SECONDS of them, from a new seed each time, in `make stress`. Afterwards the band's
// windows are still there and a proper host gets an exact snapshot.
TEST_F(DeskbandTest, HostileHostStress)
{
    (void)m_pBand->GetBandInfo(1, DBIF_VIEWMODE_VERTICAL, nullptr);
    const unsigned nSeconds = StressSeconds();
    // HOSTILE_SEED repeats the run of a seed that failed.
    const char* pszSeed = getenv("HOSTILE_SEED");
    const unsigned nSeed = pszSeed ? strtoul(pszSeed, nullptr, 10) : nSeconds ? GetTickCount() : 9928;
    CChildProcess hostile("deskband_hostile_host.exe", std::to_string(GetCurrentProcessId()) + " " +
                                                           std::to_string(nSeed) + " 3000 " + std::to_string(nSeconds));
    EXPECT_EQ(hostile.ExitCode((nSeconds + 60) * 1000), 0u) << "seed " << nSeed << ", faults as in HostileHost.cpp";

    ASSERT_TRUE(IsSited());
    ResizeBand(0, 0, 90, 30);
    CHostProcess host;
    ASSERT_EQ(host.Register(), m_hwndUtility);
    ExpectSnapshots(host, 1, 90, 30, 0, 0, DBIF_VIEWMODE_VERTICAL);
}

// A leak in each render shows within a few rounds: twenty in `make test`, STRESS_SECONDS of them
// in `make stress`.
TEST_F(DeskbandTest, ResizeStressLeavesNoHeapBlocksOrGdiObjects)
{
    CHostProcess host;
    ASSERT_TRUE(host.Register());
    const auto resize = [&](int cCycles) {
        for (int i = 0; i < cCycles; ++i)
            ResizeBand(0, 0, 40 + i % 2, 20);
        return static_cast<int>(host.Report().size());
    };
    const auto liveLibraryBlocks = [this] {
        int cBusy = 0;
        for (HANDLE hHeap : m_library.Heaps())
            for (PROCESS_HEAP_ENTRY entry = {}; HeapWalk(hHeap, &entry);)
                cBusy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? 1 : 0;
        return cBusy;
    };
    resize(20);
    const int cBlocks = liveLibraryBlocks(), cGdiObjects = GdiObjectCount();
    const DWORD dwEnd = GetTickCount() + 1000 * StressSeconds();
    int cCycles = 0, cSnapshots = 0;
    do {
        cSnapshots += resize(20);
        cCycles += 20;
    } while (static_cast<LONG>(GetTickCount() - dwEnd) < 0);
    EXPECT_EQ(cSnapshots, cCycles);
    EXPECT_EQ(liveLibraryBlocks(), cBlocks);
    EXPECT_EQ(GdiObjectCount(), cGdiObjects);
}
