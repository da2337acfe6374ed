#include "CDeskband.h"

#include <string.h>

#include "CServerModule.h"
#include "DeskbandClass.h"
#include "DeskbandProtocol.h"
#include "Trace.h"

const IID IID_IDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
const CLSID CLSID_Deskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};

namespace
{
IUnknown* DispatchPart(void* p)
{
    return static_cast<IDeskband*>(static_cast<CDeskband*>(p));
}
IUnknown* BandPart(void* p)
{
    return static_cast<IDeskBand*>(static_cast<CDeskband*>(p));
}
IUnknown* SitePart(void* p)
{
    return static_cast<IObjectWithSite*>(static_cast<CDeskband*>(p));
}
IUnknown* PersistPart(void* p)
{
    return static_cast<IPersistStream*>(static_cast<CDeskband*>(p));
}

const POINTL kMinSizeHorizontal = {32, 16};
const POINTL kMinSizeVertical = {16, 32};
const POINTL kActualHorizontal = {80, 16};
const POINTL kActualVertical = {16, 40};
const POINTL kNoLimit = {-1, -1};
const POINTL kIntegral = {1, 1};

// The utility window lies off the band's slot and is never shown; only its class and title
// matter, because the host finds it by them.
const int kUtilityPosition = 170;
const int kUtilitySize = 8;

// How long the taskbar's thread waits for the host to take a snapshot. A healthy host takes
// even the largest within milliseconds; one that does not answer (hung, or a window whose
// thread handles no messages) must not freeze the taskbar.
const UINT kuSnapshotTimeoutMs = 2000;

HWND ContainerWindowOf(IUnknown* pUnkSite)
{
    HWND hwnd = nullptr;
    IOleWindow* pOleWindow = nullptr;
    if (SUCCEEDED(pUnkSite->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&pOleWindow)))) {
        if (FAILED(pOleWindow->GetWindow(&hwnd)))
            hwnd = nullptr;
        pOleWindow->Release();
    }
    return hwnd;
}

// Registers the class both windows belong to. While another band of this library has windows
// it exists already and that registration serves, so the result is not needed.
void RegisterBandClass(WNDPROC pfnWndProc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = pfnWndProc;
    wc.hInstance = g_hInstance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = DESKBAND_UTILITY_CLASS;
    RegisterClassA(&wc);
}

// Windows keeps a library's window classes after the library is unloaded, and a window made
// from such a class once the library is loaded again (at another address) would have a window
// procedure that points into the old image. So the class lives only while a band has windows:
// it is unregistered after each band's windows are destroyed, which fails, as it should, while
// another band of this library still has windows. (Doing it when the library is unloaded
// would mean calling user32 from DllMain, which the rules for DllMain say never to do.)
void UnregisterBandClass()
{
    UnregisterClassA(DESKBAND_UTILITY_CLASS, g_hInstance);
}

// Detaches the window from the object before destroying it, so that nothing the window
// receives on its way out reaches the object.
void DestroyOwnedWindow(HWND& hwnd)
{
    if (IsWindow(hwnd)) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
    }
    hwnd = nullptr;
}
}

const InterfaceEntry CDeskband::s_interfaceTable[] = {
    {&IID_IDeskband, DispatchPart},     {&IID_IOleWindow, BandPart},    {&IID_IDockingWindow, BandPart},
    {&IID_IObjectWithSite, SitePart},   {&IID_IDeskBand, BandPart},     {&IID_IPersist, PersistPart},
    {&IID_IPersistStream, PersistPart}, {&IID_IDispatch, DispatchPart}, {nullptr, nullptr},
};

CDeskband::CDeskband()
    : m_dwBandID(0), m_dwViewMode(0), m_fShow(FALSE), m_fEnterMode(FALSE), m_hwndParent(nullptr), m_hwndBand(nullptr),
      m_pSite(nullptr), m_hwndHost(nullptr), m_hwndUtility(nullptr), m_crBkgnd(0),
      m_surface(DESKBAND_SNAPSHOT_PIXEL_OFFSET, DESKBAND_SNAPSHOT_FIXED_SIZE - DESKBAND_SNAPSHOT_PIXEL_OFFSET),
      m_hwndNcDestroyed(nullptr), m_fSending(FALSE), m_fSnapshotPending(FALSE)
{
    // Without the visual-styles library the band paints a plain fill instead.
    m_themeLibrary.Load("uxtheme.dll");
}

// The shell closes and unsites the band before its final release; should it not, the windows
// must not outlive the object whose address they carry, nor the site reference leak.
CDeskband::~CDeskband()
{
    DestroyBandWindows();
    ReleaseSite();
}

// ---- IOleWindow, IDockingWindow, IDeskBand

STDMETHODIMP CDeskband::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_INVALIDARG;
    ForgetDestroyedWindow();
    *phwnd = m_hwndBand;
    return S_OK;
}

STDMETHODIMP CDeskband::ContextSensitiveHelp(BOOL fEnterMode)
{
    m_fEnterMode = fEnterMode;
    return S_OK;
}

STDMETHODIMP CDeskband::ShowDW(BOOL fShow)
{
    m_fShow = fShow;
    ForgetDestroyedWindow();
    ShowWindow(m_hwndBand, fShow ? SW_SHOW : SW_HIDE);
    return S_OK;
}

STDMETHODIMP CDeskband::CloseDW(DWORD)
{
    DestroyBandWindows();
    return S_OK;
}

STDMETHODIMP CDeskband::ResizeBorderDW(LPCRECT, IUnknown*, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDeskband::GetBandInfo(DWORD dwBandID, DWORD dwViewMode, DESKBANDINFO* pdbi)
{
    m_dwBandID = dwBandID;
    m_dwViewMode = dwViewMode;
    if (!pdbi)
        return S_OK;

    const bool fVertical = dwViewMode == DBIF_VIEWMODE_VERTICAL;
    const DWORD dwMask = pdbi->dwMask;
    if (dwMask & DBIM_MINSIZE)
        pdbi->ptMinSize = fVertical ? kMinSizeVertical : kMinSizeHorizontal;
    if (dwMask & DBIM_MAXSIZE)
        pdbi->ptMaxSize = kNoLimit;
    if (dwMask & DBIM_INTEGRAL)
        pdbi->ptIntegral = kIntegral;
    if (dwMask & DBIM_ACTUAL)
        pdbi->ptActual = fVertical ? kActualVertical : kActualHorizontal;
    if (dwMask & DBIM_TITLE)
        pdbi->wszTitle[0] = L'\0';
    if (dwMask & DBIM_BKCOLOR) {
        // Remember the container's colour for the host, and leave the painting of the
        // default background to the container.
        m_crBkgnd = pdbi->crBkgnd;
        pdbi->dwMask &= ~DBIM_BKCOLOR;
    }
    if (dwMask & DBIM_MODEFLAGS)
        pdbi->dwModeFlags = DBIMF_VARIABLEHEIGHT;
    return S_OK;
}

// ---- IObjectWithSite

STDMETHODIMP CDeskband::SetSite(IUnknown* pUnkSite)
{
    ReleaseSite();
    if (!pUnkSite)
        return S_OK;

    // Only the newest siting's windows may exist; an earlier pair would outlive CloseDW.
    DestroyBandWindows();
    m_hwndParent = ContainerWindowOf(pUnkSite);
    if (!IsWindow(m_hwndParent) || !CreateBandWindows())
        return E_FAIL;
    if (FAILED(pUnkSite->QueryInterface(IID_IInputObjectSite, reinterpret_cast<void**>(&m_pSite)))) {
        m_pSite = nullptr;
        return E_FAIL;
    }
    return S_OK;
}

STDMETHODIMP CDeskband::GetSite(REFIID riid, void** ppvSite)
{
    if (!ppvSite)
        return E_POINTER;
    *ppvSite = nullptr;
    return m_pSite ? m_pSite->QueryInterface(riid, ppvSite) : E_FAIL;
}

// Cleared before the release: a site's final release may call back into the band.
void CDeskband::ReleaseSite()
{
    IInputObjectSite* pSite = m_pSite;
    m_pSite = nullptr;
    if (pSite)
        pSite->Release();
}

// ---- IPersist, IPersistStream: the band has no persistent state

STDMETHODIMP CDeskband::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_Deskband;
    return S_OK;
}

STDMETHODIMP CDeskband::IsDirty()
{
    return S_FALSE;
}

STDMETHODIMP CDeskband::Load(IStream*)
{
    return S_OK;
}

STDMETHODIMP CDeskband::Save(IStream*, BOOL)
{
    return S_OK;
}

STDMETHODIMP CDeskband::GetSizeMax(ULARGE_INTEGER*)
{
    return E_NOTIMPL;
}

// ---- Windows

// Both windows carry the object's address as user data, set only after each is created:
// what a window receives during its own creation gets default processing. A local class is
// found by the instance that registered it, so both windows name the library's own.
BOOL CDeskband::CreateBandWindows()
{
    RECT rc = {};
    GetClientRect(m_hwndParent, &rc);
    RegisterBandClass(DeskbandWndProc);
    m_hwndHost = nullptr;

    m_hwndUtility =
        CreateWindowExA(0, DESKBAND_UTILITY_CLASS, DESKBAND_UTILITY_TITLE, WS_POPUP, kUtilityPosition, kUtilityPosition,
                        kUtilitySize, kUtilitySize, nullptr, nullptr, g_hInstance, nullptr);
    SetWindowLongPtrA(m_hwndUtility, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Posted to no window, the message would land in the thread's own queue.
    if (m_hwndUtility)
        PostMessageA(m_hwndUtility, WM_DESKBAND_UTILITYCREATED, 0, 0);

    m_hwndBand =
        CreateWindowExA(0, DESKBAND_UTILITY_CLASS, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rc.left, rc.top,
                        rc.right - rc.left, rc.bottom - rc.top, m_hwndParent, nullptr, g_hInstance, nullptr);
    SetWindowLongPtrA(m_hwndBand, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Trace("hhk=%x\n", 0);
    return IsWindow(m_hwndBand);
}

// The surface goes with the windows, so that a closed band holds no pixel memory; unless a
// host is reading its block just now (closed from inside the host's WM_COPYDATA handler, in the
// shell's own process): then it goes with the band.
void CDeskband::DestroyBandWindows()
{
    DestroyOwnedWindow(m_hwndBand);
    DestroyOwnedWindow(m_hwndUtility);
    m_hwndNcDestroyed = nullptr;
    if (!m_fSending)
        m_surface.Destroy();
    UnregisterBandClass();
}

// A window that reported WM_NCDESTROY and no longer exists was destroyed (its container took
// it along, or its thread's code destroyed it): it is forgotten, so that it is never handed
// out. One that still exists got the message from someone else and stays.
void CDeskband::ForgetDestroyedWindow()
{
    if (!m_hwndNcDestroyed || IsWindow(m_hwndNcDestroyed))
        return;
    if (m_hwndBand == m_hwndNcDestroyed)
        m_hwndBand = nullptr;
    if (m_hwndUtility == m_hwndNcDestroyed)
        m_hwndUtility = nullptr;
    m_hwndNcDestroyed = nullptr;
}

LRESULT CALLBACK CDeskband::DeskbandWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CDeskband* pBand = reinterpret_cast<CDeskband*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!pBand)
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    pBand->ForgetDestroyedWindow();
    switch (uMsg) {
    // Only the window's own destruction is real; anyone can send or post the message. Whether
    // the window went is checked as the next call or message comes in.
    case WM_NCDESTROY:
        pBand->m_hwndNcDestroyed = hwnd;
        return 0;
    // The shell closes the band through CloseDW. These messages from anyone else would close
    // the windows or rename the utility window (default processing of WM_NCCREATE sets the
    // title), and no host could find the band until it was sited again.
    case WM_CLOSE:
    case WM_DESTROY:
    case WM_NCCREATE:
    case WM_CREATE:
        return 0;
    }
    if (hwnd == pBand->m_hwndUtility)
        return pBand->OnUtilityMessage(hwnd, uMsg, wParam, lParam);
    return pBand->OnBandMessage(hwnd, uMsg, wParam, lParam);
}

LRESULT CDeskband::OnUtilityMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_SYSCOLORCHANGE:
        Trace("WM_SYSCOLORCHANGE\n");
        PostRefresh();
        break;
    // The taskbar's background also changes with the accent colour and the composition,
    // which top-level windows learn of through the two DWM messages.
    case WM_THEMECHANGED:
    case WM_DWMCOLORIZATIONCOLORCHANGED:
    case WM_DWMCOMPOSITIONCHANGED:
        Trace("WM_THEMECHANGED\n");
        PostRefresh();
        break;
    case WM_DESKBAND_GETBANDWINDOW:
        return reinterpret_cast<LRESULT>(m_hwndBand);
    case WM_DESKBAND_GETVIEWMODE:
        return m_dwViewMode;
    case WM_DESKBAND_GETBKCOLOR:
        return m_crBkgnd;
    case WM_DESKBAND_SETHOSTWINDOW:
        m_hwndHost = reinterpret_cast<HWND>(lParam);
        UpdateHost();
        break;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

LRESULT CDeskband::OnBandMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_ERASEBKGND:
        Trace("erasebkgnd!\n");
        PaintBackground(reinterpret_cast<HDC>(wParam));
        return TRUE;
    case WM_WINDOWPOSCHANGED:
        OnWindowPosChanged(reinterpret_cast<const WINDOWPOS*>(lParam));
        break;
    case WM_DESKBAND_REFRESH:
        UpdateHost();
        break;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

// Asks the band window to render and send a snapshot once the current message is handled.
// Posted to no window, the message would land in the thread's own queue.
void CDeskband::PostRefresh()
{
    if (m_hwndBand)
        PostMessageA(m_hwndBand, WM_DESKBAND_REFRESH, 0, 0);
}

// The parent's background behind the band, or a plain fill without the visual-styles library.
void CDeskband::DrawBackground(HDC hdc, RECT* prc)
{
    if (m_themeLibrary.GetModule())
        m_themeLibrary.CallFunction("DrawThemeParentBackground", m_hwndBand, hdc, prc);
    else
        FillRect(hdc, prc, GetSysColorBrush(COLOR_BTNFACE));
}

// Draws the background straight into the context the erase comes with (the window's, or a
// printing one), never into the surface, which may be out to the host just now. The class's
// null brush keeps the default erase from painting over it.
void CDeskband::PaintBackground(HDC hdc)
{
    RECT rc = {};
    GetClientRect(m_hwndBand, &rc);
    DrawBackground(hdc, &rc);
}

// A resize with a host registered re-applies the new rectangle and posts the refresh, so
// that the new snapshot follows the handling of the resize.
void CDeskband::OnWindowPosChanged(const WINDOWPOS* pwp)
{
    Trace("wps!\n");
    if (!m_hwndHost) {
        Trace("NO CHILD\n");
    } else if (!(pwp->flags & SWP_NOSIZE)) {
        Trace("moving: %i %i %i %i\n", pwp->x, pwp->y, pwp->cx, pwp->cy);
        MoveWindow(m_hwndBand, pwp->x, pwp->y, pwp->cx, pwp->cy, TRUE);
        PostRefresh();
    }
    Trace("wps");
}

// ---- Background surface and snapshot

void CDeskband::RenderBackground()
{
    RECT rc = {};
    GetClientRect(m_hwndBand, &rc);
    m_surface.Create(rc.right, rc.bottom);
    Trace("Drawing background %i, %i\n", rc.right, rc.bottom);
    if (m_surface.GetHDC())
        DrawBackground(m_surface.GetHDC(), &rc);
}

// Renders and sends a snapshot to the registered host window, if it still exists. A snapshot
// asked for while one is being sent (the host asking again from its WM_COPYDATA handler, or
// anything that handler does that leads back here) is sent once, after the current send has
// returned: the taskbar's thread never nests sends, and the surface out to the host is never
// drawn into.
void CDeskband::UpdateHost()
{
    if (m_fSending) {
        m_fSnapshotPending = TRUE;
        return;
    }
    if (m_hwndHost && !IsWindow(m_hwndHost))
        m_hwndHost = nullptr;
    if (!m_hwndHost || !m_hwndBand)
        return;
    m_fSending = TRUE;
    RenderBackground();
    SendSnapshot();
    m_fSending = FALSE;
    if (m_fSnapshotPending) {
        m_fSnapshotPending = FALSE;
        PostRefresh();
    }
}

// Sends the surface's block, header, pixels and spare word in one, to the host window
// synchronously. The block is the surface's own memory: it is neither copied nor changed
// until the send has returned. Nothing is sent when the surface has no block (no memory, no
// DIB section or no device context for it).
void CDeskband::SendSnapshot()
{
    BYTE* pbBlock = m_surface.GetBlock();
    if (!pbBlock)
        return;
    const DWORD cbBlock = m_surface.GetBlockSize();

    // Every byte around the pixels is written: the block crosses into the host's process.
    DESKBANDSNAPSHOTHEADER header = {};
    header.dwHeaderWord = DESKBAND_SNAPSHOT_HEADER_WORD;
    header.nWidth = m_surface.GetWidth();
    header.nHeight = m_surface.GetHeight();
    header.dwViewMode = m_dwViewMode;
    memcpy(pbBlock, &header, sizeof(header));
    memset(pbBlock + cbBlock - 4, 0, 4);
    // GDI batches drawing calls: the pixels are in the memory only once the batch is flushed.
    GdiFlush();

    // A host that cannot take the block is forgotten like one that has gone away, unless
    // another host registered while the send waited. (Wine answers some completed sends with
    // 0 as well, but leaves the error unset then.) cbData is 32 bits wide in programs of either
    // bitness; DeskbandSnapshotSize keeps the block within it.
    const HWND hwndHost = m_hwndHost;
    COPYDATASTRUCT cds = {DESKBAND_SNAPSHOT_ID, cbBlock, pbBlock};
    DWORD_PTR dwResult = 0;
    SetLastError(ERROR_SUCCESS);
    if (!SendMessageTimeoutA(hwndHost, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hwndUtility),
                             reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG, kuSnapshotTimeoutMs, &dwResult) &&
        GetLastError() != ERROR_SUCCESS && m_hwndHost == hwndHost)
        m_hwndHost = nullptr;
}

// ---- IDispatch: answered from the type information of IDeskband, which all bands share.
// riid is not looked at.

STDMETHODIMP CDeskband::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

STDMETHODIMP CDeskband::GetTypeInfo(UINT, LCID lcid, ITypeInfo** ppTInfo)
{
    return g_deskbandTypeInfo.GetTypeInfo(lcid, ppTInfo);
}

STDMETHODIMP CDeskband::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId)
{
    return g_deskbandTypeInfo.GetIDsOfNames(rgszNames, cNames, lcid, rgDispId);
}

STDMETHODIMP CDeskband::Invoke(DISPID dispIdMember, REFIID, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                               VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    return g_deskbandTypeInfo.Invoke(static_cast<IDeskband*>(this), dispIdMember, lcid, wFlags, pDispParams, pVarResult,
                                     pExcepInfo, puArgErr);
}
