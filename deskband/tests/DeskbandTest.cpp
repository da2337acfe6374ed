// The desk band driven as the shell and the host drive it: created through the library's
// exports, sited on a test taskbar window, queried through the utility window, with a host
// window in a second process whose snapshots the test collects.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "TestHostCommands.h"

namespace
{
const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};
const IID kIidDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
const int kTaskbarWidth = 200;
const int kTaskbarHeight = 40;

// Every pixel of the taskbar's background differs from its neighbours, so a snapshot taken
// at the wrong offset shows.
COLORREF PatternAt(int x, int y) { return RGB(x, y * 4, 0x5A); }

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

HWND UtilityWindow() { return FindUtilityWindowOf(GetCurrentProcessId()); }

// Hidden: visible top-level windows are slow to destroy under a bare X server.
HWND CreateHiddenWindow(const char* pszClass, WNDPROC pfnWndProc, int cx, int cy)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = pfnWndProc;
    wc.lpszClassName = pszClass;
    RegisterClassA(&wc);
    return CreateWindowExA(0, pszClass, "", WS_POPUP, 0, 0, cx, cy, nullptr, nullptr, nullptr, nullptr);
}

template <typename T> T* QueryAs(IUnknown* pUnknown, REFIID riid)
{
    void* pv = nullptr;
    return pUnknown && SUCCEEDED(pUnknown->QueryInterface(riid, &pv)) ? static_cast<T*>(pv) : nullptr;
}

IDeskBand* CreateBand()
{
    const auto pfnGetClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        GetProcAddress(LoadLibraryA("Veltrix.dll"), "DllGetClassObject"));
    IClassFactory* pFactory = nullptr;
    void* pv = nullptr;
    if (pfnGetClassObject && SUCCEEDED(pfnGetClassObject(kClsidDeskband, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)))) {
        pFactory->CreateInstance(nullptr, IID_IDeskBand, &pv);
        pFactory->Release();
    }
    return static_cast<IDeskBand*>(pv);
}

// Stands in for the taskbar's container and paints the pattern for the band's background.
struct CTestTaskbar
{
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        if (uMsg != WM_ERASEBKGND && uMsg != WM_PRINTCLIENT)
            return DefWindowProcA(hwnd, uMsg, wParam, lParam);
        for (int i = 0; i < kTaskbarWidth * kTaskbarHeight; ++i)
            SetPixelV(reinterpret_cast<HDC>(wParam), i % kTaskbarWidth, i / kTaskbarWidth,
                      PatternAt(i % kTaskbarWidth, i / kTaskbarWidth));
        return 1;
    }
    ~CTestTaskbar() { DestroyWindow(m_hwnd); }
    HWND m_hwnd = CreateHiddenWindow("DeskbandTestTaskbar", WndProc, kTaskbarWidth, kTaskbarHeight);
};

// The shell's site: its container window through IOleWindow, and IInputObjectSite; one of
// them can be withheld. It lives on the stack, so its count only tells what the band holds.
class CTestSite : public IOleWindow, public IInputObjectSite
{
public:
    explicit CTestSite(HWND hwnd, REFIID riidWithheld = IID_NULL) : m_hwnd(hwnd), m_iidWithheld(riidWithheld) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid != m_iidWithheld && (riid == IID_IUnknown || riid == IID_IOleWindow))
            *ppv = static_cast<IOleWindow*>(this);
        else if (riid != m_iidWithheld && riid == IID_IInputObjectSite)
            *ppv = static_cast<IInputObjectSite*>(this);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    STDMETHODIMP GetWindow(HWND* phwnd) override { *phwnd = m_hwnd; return S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }
    IUnknown* Unknown() { return static_cast<IOleWindow*>(this); }
    ULONG m_cRef = 0;

private:
    HWND m_hwnd;
    IID m_iidWithheld;
};

// A WM_COPYDATA as the host received it; the block as 32-bit words.
struct Snapshot
{
    HWND hwndSender;
    ULONG_PTR dwData;
    DWORD cbData;
    std::vector<DWORD> words;
};

// The host helper process, passing what it receives on to a collector window of ours.
class CHostProcess
{
public:
    CHostProcess()
    {
        SetWindowLongPtrA(m_hwndCollector, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        char szExe[MAX_PATH];
        GetModuleFileNameA(nullptr, szExe, MAX_PATH);
        strcpy(strrchr(szExe, '\\') + 1, "deskband_testhost.exe");
        std::string commandLine = "\"" + std::string(szExe) + "\" " + std::to_string(reinterpret_cast<UINT_PTR>(m_hwndCollector));
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &m_pi))
            while (!m_hwnd && MsgWaitForMultipleObjects(1, &m_pi.hProcess, FALSE, 20000, QS_POSTMESSAGE) == WAIT_OBJECT_0 + 1)
                PumpMessages();
    }
    ~CHostProcess()
    {
        if (m_pi.hProcess) {
            PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(m_pi.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(m_pi.hProcess, 1);
            CloseHandle(m_pi.hThread);
            CloseHandle(m_pi.hProcess);
        }
        DestroyWindow(m_hwndCollector);
    }
    // The utility window the host found and registered with, or null.
    HWND Register() { return reinterpret_cast<HWND>(SendMessageA(m_hwnd, TESTHOST_REGISTER, 0, 0)); }
    // Every snapshot the host has received since the last report.
    std::vector<Snapshot> Report() { return std::move(m_snapshots); }
    HWND m_hwnd = nullptr;

private:
    static LRESULT CALLBACK CollectorProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto pThis = reinterpret_cast<CHostProcess*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        const auto pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (uMsg == TESTHOST_READY) {
            pThis->m_hwnd = reinterpret_cast<HWND>(lParam);
        } else if (uMsg == WM_COPYDATA) {
            pThis->m_snapshots.push_back({reinterpret_cast<HWND>(wParam), pcds->dwData, pcds->cbData, {}});
            pThis->m_snapshots.back().words.resize((pcds->cbData + 3) / 4);
            memcpy(pThis->m_snapshots.back().words.data(), pcds->lpData, pcds->cbData);
        } else {
            return DefWindowProcA(hwnd, uMsg, wParam, lParam);
        }
        return TRUE;
    }
    HWND m_hwndCollector = CreateHiddenWindow("DeskbandTestCollector", CollectorProc, 0, 0);
    PROCESS_INFORMATION m_pi = {};
    std::vector<Snapshot> m_snapshots;
};

// A band sited on the test taskbar, as the shell leaves it after SetSite.
class DeskbandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pBand = CreateBand();
        m_pWithSite = QueryAs<IObjectWithSite>(m_pBand, IID_IObjectWithSite);
        ASSERT_TRUE(m_pWithSite);
        ASSERT_EQ(m_pWithSite->SetSite(m_site.Unknown()), S_OK);
        m_hwndUtility = UtilityWindow();
        m_pBand->GetWindow(&m_hwndBand);
        ASSERT_TRUE(IsWindow(m_hwndUtility) && IsWindow(m_hwndBand));
    }
    // A final Release while sited takes the windows and the site reference along.
    void TearDown() override
    {
        ReleaseBand();
        EXPECT_FALSE(IsWindow(m_hwndBand) || UtilityWindow());
        EXPECT_EQ(m_site.m_cRef, 0u);
    }
    void ReleaseBand()
    {
        for (IUnknown* pUnknown : {static_cast<IUnknown*>(m_pWithSite), static_cast<IUnknown*>(m_pBand)})
            if (pUnknown)
                pUnknown->Release();
        m_pWithSite = nullptr;
        m_pBand = nullptr;
    }
    LRESULT Ask(UINT uMsg, LPARAM lParam = 0) { return SendMessageA(m_hwndUtility, uMsg, 0, lParam); }
    void ResizeBand(int x, int y, int cx, int cy, UINT uFlags = 0)
    {
        SetWindowPos(m_hwndBand, nullptr, x, y, cx, cy, uFlags | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages();
    }
    // Exactly one snapshot came from the utility window, with the header words and zeroed
    // spare bytes, and pixels of the taskbar's pattern behind a band at (dx, dy), or crFill.
    void ExpectOneSnapshot(CHostProcess& host, int nWidth, int nHeight, DWORD dwViewMode = 0, int dx = 0, int dy = 0,
                           COLORREF crFill = CLR_INVALID)
    {
        const std::vector<Snapshot> snapshots = host.Report();
        ASSERT_EQ(snapshots.size(), 1u);
        const Snapshot& snapshot = snapshots[0];
        EXPECT_TRUE(snapshot.hwndSender == m_hwndUtility && snapshot.dwData == DESKBAND_SNAPSHOT_ID);
        ASSERT_EQ(snapshot.cbData, 52u + 4u * nWidth * nHeight);
        EXPECT_EQ(std::vector<DWORD>(snapshot.words.begin(), snapshot.words.begin() + 12),
                  (std::vector<DWORD>{52, DWORD(nWidth), DWORD(nHeight), dwViewMode, 0, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(snapshot.words.back(), 0u) << "trailing word";
        for (int i = 0; i < nWidth * nHeight; ++i) {
            const COLORREF cr = crFill != CLR_INVALID ? crFill : PatternAt(i % nWidth + dx, i / nWidth + dy);
            if ((snapshot.words[12 + i] & 0xFFFFFF) != DWORD(GetRValue(cr) << 16 | GetGValue(cr) << 8 | GetBValue(cr)))
                return ADD_FAILURE() << "pixel " << i % nWidth << "," << i / nWidth << " is " << std::hex << snapshot.words[12 + i];
        }
    }

    CTestTaskbar m_taskbar;
    CTestSite m_site{m_taskbar.m_hwnd};
    IDeskBand* m_pBand = nullptr;
    IObjectWithSite* m_pWithSite = nullptr;
    HWND m_hwndUtility = nullptr;
    HWND m_hwndBand = nullptr;
};
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
        // Minimum, actual, maximum and integral sizes, x then y.
        EXPECT_EQ((std::vector<LONG>{dbi.ptMinSize.x, dbi.ptMinSize.y, dbi.ptActual.x, dbi.ptActual.y, dbi.ptMaxSize.x,
                                     dbi.ptMaxSize.y, dbi.ptIntegral.x, dbi.ptIntegral.y}),
                  (std::vector<LONG>{fVertical ? 16 : 32, fVertical ? 32 : 16, fVertical ? 16 : 80, fVertical ? 40 : 16, -1, -1, 1, 1}));
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
    ResizeBand(0, 0, 30000, 30000);
    EXPECT_EQ(host.Report().size(), 0u) << "too large for pixel memory";
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
