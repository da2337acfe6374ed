#include "CReferenceHost.h"

#include <stdio.h>

#include "PngEncoder.h"

namespace
{
const char kszHostClass[] = "VeltrixReferenceHost";
// Posted to ourselves: save and show the snapshots copied while handling WM_COPYDATA.
const UINT WM_APP_SNAPSHOTS = WM_APP + 1;
// Posted by the volume object: another program changed the volume.
const UINT WM_APP_VOLUMECHANGED = WM_APP + 2;
// How often the host looks for the band and follows the band window.
const UINT_PTR kidTimer = 1;
const UINT kmsTimer = 200;
// A band that does not answer within this time is treated as gone; the band waits as long
// for us to take a snapshot before it forgets us.
const UINT kmsBandTimeout = 2000;

// Sends the band a message; false when it did not answer (hung, gone or closing). Wine answers
// some sends that went through with 0 but leaves the error unset, so only a set error fails.
bool AskBand(HWND hwndUtility, UINT uMsg, LPARAM lParam, LRESULT* plResult = nullptr)
{
    DWORD_PTR dwResult = 0;
    SetLastError(ERROR_SUCCESS);
    if (!SendMessageTimeoutA(hwndUtility, uMsg, 0, lParam, SMTO_ABORTIFHUNG, kmsBandTimeout, &dwResult) &&
        GetLastError() != ERROR_SUCCESS)
        return false;
    if (plResult)
        *plResult = static_cast<LRESULT>(dwResult);
    return true;
}

void PrintVolume(const char* pszWhat, const VOLUMESTATE& volume)
{
    printf("host: %s: volume %.2f, %s\n", pszWhat, static_cast<double>(volume.fLevel),
           volume.bMuted ? "muted" : "not muted");
    fflush(stdout);
}
}

CReferenceHost::CReferenceHost(const HOSTOPTIONS& options)
    : m_options(options),
      m_registeredEvent(options.pszRegisteredEvent ? CreateEventA(nullptr, FALSE, FALSE, options.pszRegisteredEvent)
                                                   : nullptr),
      m_uMsgTaskbarCreated(RegisterWindowMessageA("TaskbarCreated")), m_hwndHost(nullptr), m_hwndUtility(nullptr),
      m_hwndBand(nullptr), m_bReportedFailure(false), m_rcShown(), m_dwLastTimer(0), m_volume(), m_cReceived(0),
      m_cHandled(0), m_cSaved(0), m_cFailed(0)
{
}

CReferenceHost::~CReferenceHost()
{
    if (m_hwndHost)
        DestroyWindow(m_hwndHost);
}

// The window lies over the band window, which belongs to the shell's process. A child window
// of it would join our input queue to the taskbar's thread, so that a hung host could freeze
// the taskbar; a top-level window keeps the two apart. It never takes activation or focus,
// stays out of the taskbar's list and Alt+Tab, and lets the mouse through to the taskbar
// (layered and transparent), so that even a hung host costs the taskbar no click.
bool CReferenceHost::Create()
{
    CreateDirectoryA(m_options.strOutputFolder.c_str(), nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kszHostClass;
    RegisterClassA(&wc);
    const DWORD dwExStyle = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_TRANSPARENT;
    m_hwndHost = CreateWindowExA(dwExStyle, kszHostClass, "Reference host", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 wc.hInstance, this);
    if (!m_hwndHost)
        return false;
    // A layered window shows nothing until its attributes are set; this one is opaque.
    SetLayeredWindowAttributes(m_hwndHost, 0, 255, LWA_ALPHA);
    // The shell runs at medium integrity: let its snapshots and its restart notice reach an
    // elevated host.
    ChangeWindowMessageFilterEx(m_hwndHost, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(m_hwndHost, m_uMsgTaskbarCreated, MSGFLT_ALLOW, nullptr);

    OpenVolume();
    SetTimer(m_hwndHost, kidTimer, kmsTimer, nullptr);
    m_dwLastTimer = GetTickCount();
    LookForBand();
    return true;
}

int CReferenceHost::Run()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    printf("host: %u snapshot(s) received, %u saved, %u rejected or not saved\n", m_cReceived, m_cSaved, m_cFailed);
    return m_cFailed == 0 ? 0 : 1;
}

void CReferenceHost::Close()
{
    PostMessageA(m_hwndHost, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK CReferenceHost::WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_NCCREATE) {
        const auto pcs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        const auto pThis = static_cast<CReferenceHost*>(pcs->lpCreateParams);
        pThis->m_hwndHost = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pThis));
    }
    const auto pThis = reinterpret_cast<CReferenceHost*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (uMsg == WM_NCDESTROY)
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    return pThis ? pThis->OnMessage(hwnd, uMsg, wParam, lParam) : DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

LRESULT CReferenceHost::OnMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // A new shell: its band may come a little later, so the timer keeps looking as well.
    if (uMsg == m_uMsgTaskbarCreated && uMsg != 0) {
        LookForBand();
        return 0;
    }
    switch (uMsg) {
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_APP_SNAPSHOTS:
        OnSnapshots();
        return 0;
    case WM_APP_VOLUMECHANGED:
        OnVolumeChanged();
        return 0;
    case WM_TIMER:
        OnTimer();
        return 0;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers the whole window
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_CLOSE:
        UnregisterFromBand();
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kidTimer);
        // ~CQuillon waits for a notification being delivered; none follows.
        m_pVolume.reset();
        m_hwndHost = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

// The default render endpoint's volume through Quillon, as any host links it. Without an
// endpoint the slot shows the background alone.
void CReferenceHost::OpenVolume()
{
    m_pVolume.reset(new CHostVolume(m_hwndHost, WM_APP_VOLUMECHANGED));
    if (m_pVolume->Open(&m_volume))
        PrintVolume("opened the default audio endpoint", m_volume);
    else
        printf("host: no default audio endpoint; the slot shows no volume\n");
    fflush(stdout);
}

void CReferenceHost::OnTimer()
{
    // The band forgets a host that does not take a snapshot in time: after a stall of ours
    // longer than that, register again (which brings a fresh snapshot).
    if (m_hwndUtility && IsWindow(m_hwndUtility) && GetTickCount() - m_dwLastTimer > kmsBandTimeout) {
        printf("host: did not handle messages for a while; registering again in case the band forgot us\n");
        RegisterWithBand(m_hwndUtility);
    }
    LookForBand();
    FollowBand();
    m_dwLastTimer = GetTickCount();
}

// Called at start, on the timer and when a new shell announces itself: registers with the
// band when there is one and we are not registered with it, which covers a band that was
// restarted (its utility window gone and a new one created).
void CReferenceHost::LookForBand()
{
    if (m_hwndUtility && IsWindow(m_hwndUtility))
        return;
    if (m_hwndUtility) {
        m_hwndUtility = nullptr;
        m_hwndBand = nullptr;
        FollowBand();
        if (m_options.bExitWithBand) {
            printf("host: the band went away; stopping\n");
            Close();
            return;
        }
        printf("host: the band went away; waiting for it to come back\n");
    }
    const HWND hwndUtility = FindWindowA(DESKBAND_UTILITY_CLASS, DESKBAND_UTILITY_TITLE);
    if (hwndUtility)
        RegisterWithBand(hwndUtility);
}

void CReferenceHost::RegisterWithBand(HWND hwndUtility)
{
    // The three queries: where the band is, how the taskbar shows it, and its colour. A band
    // that does not answer all three, or names no live band window (busy, or closing), is not
    // counted as found: it is asked again on the next tick.
    LRESULT lBand = 0, lViewMode = 0, lBkgnd = 0;
    if (!AskBand(hwndUtility, WM_DESKBAND_GETBANDWINDOW, 0, &lBand) || !IsWindow(reinterpret_cast<HWND>(lBand)) ||
        !AskBand(hwndUtility, WM_DESKBAND_GETVIEWMODE, 0, &lViewMode) ||
        !AskBand(hwndUtility, WM_DESKBAND_GETBKCOLOR, 0, &lBkgnd)) {
        ForgetBand("the band did not answer its questions or named no band window");
        return;
    }
    m_hwndBand = reinterpret_cast<HWND>(lBand);
    const DWORD dwViewMode = static_cast<DWORD>(lViewMode);
    const COLORREF crBkgnd = static_cast<COLORREF>(lBkgnd);
    printf("host: found the band: utility window %p, band window %p, view mode %lu, background colour "
           "RGB(%u, %u, %u)\n",
           static_cast<void*>(hwndUtility), static_cast<void*>(m_hwndBand), dwViewMode, GetRValue(crBkgnd),
           GetGValue(crBkgnd), GetBValue(crBkgnd));

    // Registration. The band answers with a first snapshot before this call returns, so
    // m_hwndUtility must already name the window that sends it.
    m_hwndUtility = hwndUtility;
    const unsigned cBefore = m_cReceived;
    if (!AskBand(hwndUtility, WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(m_hwndHost))) {
        ForgetBand("the band did not take the registration");
        return;
    }
    m_bReportedFailure = false;
    printf("host: registered window %p; %u snapshot(s) arrived while registering\n", static_cast<void*>(m_hwndHost),
           m_cReceived - cBefore);
    fflush(stdout);
    if (m_registeredEvent.IsValid())
        SetEvent(m_registeredEvent.Get());
}

// Not registered after all: reported once until a registration succeeds, and tried again on
// the next tick.
void CReferenceHost::ForgetBand(const char* pszWhy)
{
    m_hwndUtility = nullptr;
    m_hwndBand = nullptr;
    FollowBand();
    if (!m_bReportedFailure)
        printf("host: %s; asking again\n", pszWhy);
    m_bReportedFailure = true;
}

// A polite host tells the band when it stops listening.
void CReferenceHost::UnregisterFromBand()
{
    if (m_hwndUtility && IsWindow(m_hwndUtility))
        (void)AskBand(m_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0);
    m_hwndUtility = nullptr;
}

LRESULT CReferenceHost::OnCopyData(HWND hwndSender, const COPYDATASTRUCT* pcds)
{
    // Other programs may send copy-data messages too: take only the band's snapshots.
    if (!pcds || pcds->dwData != DESKBAND_SNAPSHOT_ID || !hwndSender || hwndSender != m_hwndUtility)
        return FALSE;
    ++m_cReceived;

    // Never trust the block: check the header word, and that cbData is exactly 52 + 4*W*H
    // for the W and H it claims, before reading a single pixel.
    DESKBANDSNAPSHOTHEADER header;
    if (!DeskbandSnapshotIsValid(pcds->dwData, pcds->lpData, pcds->cbData, &header)) {
        printf("host: rejected a snapshot block of %lu bytes: its size does not match its width and height\n",
               pcds->cbData);
        ++m_cFailed;
        return FALSE;
    }

    // The band frees the block as soon as we return, and it waits for us meanwhile: copy
    // the pixels now and do the slow work (writing a file, drawing) afterwards.
    const uint8_t* pbPixels = static_cast<const uint8_t*>(pcds->lpData) + DESKBAND_SNAPSHOT_PIXEL_OFFSET;
    Snapshot snapshot;
    snapshot.header = header;
    snapshot.pixels.assign(pbPixels, pbPixels + 4 * static_cast<size_t>(header.nWidth) * header.nHeight);
    m_pending.push_back(std::move(snapshot));
    PostMessageA(m_hwndHost, WM_APP_SNAPSHOTS, 0, 0);
    return TRUE;
}

// Saves every snapshot that arrived and shows the latest.
void CReferenceHost::OnSnapshots()
{
    std::vector<Snapshot> pending;
    pending.swap(m_pending);
    for (const Snapshot& snapshot : pending) {
        const unsigned long nWidth = snapshot.header.nWidth;
        const unsigned long nHeight = snapshot.header.nHeight;
        const std::string strPath = m_options.strOutputFolder + "/snapshot-" + std::to_string(++m_cHandled) + "-" +
                                    std::to_string(nWidth) + "x" + std::to_string(nHeight) + ".png";
        if (nWidth == 0 || nHeight == 0) {
            // A band squeezed to nothing: a valid snapshot, but no image.
            printf("host: snapshot %u is empty (%lux%lu); nothing to save\n", m_cHandled, nWidth, nHeight);
        } else if (SaveSnapshot(snapshot, strPath)) {
            ++m_cSaved;
            printf("host: saved %s (%lux%lu, view mode %lu)\n", strPath.c_str(), nWidth, nHeight,
                   static_cast<unsigned long>(snapshot.header.dwViewMode));
        } else {
            ++m_cFailed;
            printf("host: could not save the %lux%lu snapshot as %s\n", nWidth, nHeight, strPath.c_str());
        }
    }
    fflush(stdout);
    if (!pending.empty()) {
        Snapshot& latest = pending.back();
        m_painter.SetBackground(latest.header.nWidth, latest.header.nHeight, std::move(latest.pixels));
        FollowBand();
        InvalidateRect(m_hwndHost, nullptr, FALSE);
    }
    if (m_options.cSnapshotsWanted != 0 && m_cHandled >= m_options.cSnapshotsWanted)
        Close();
}

bool CReferenceHost::SaveSnapshot(const Snapshot& snapshot, const std::string& strPath)
{
    const std::vector<uint8_t> png =
        EncodePngFromBgrx(snapshot.header.nWidth, snapshot.header.nHeight, snapshot.pixels.data());
    if (png.empty())
        return false;
    CScopedHandle file(
        CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    DWORD cbWritten = 0;
    const BOOL fWritten = WriteFile(file.Get(), png.data(), static_cast<DWORD>(png.size()), &cbWritten, nullptr);
    // Closed here, as a failed close can mean the data did not reach the disk.
    return file.Close() && fWritten && cbWritten == png.size();
}

// Puts the window over the band window with the latest snapshot's size (physical pixels, as
// the band measures them), or hides it while there is no band or nothing to show. The band
// window may move without a new snapshot (the taskbar moved), so the timer calls this too.
void CReferenceHost::FollowBand()
{
    RECT rcBand = {};
    if (!m_hwndBand || !IsWindowVisible(m_hwndBand) || !GetWindowRect(m_hwndBand, &rcBand) ||
        m_painter.GetWidth() == 0 || m_painter.GetHeight() == 0) {
        ShowWindow(m_hwndHost, SW_HIDE);
        m_rcShown = RECT{};
        return;
    }
    const RECT rcShow = {rcBand.left, rcBand.top, rcBand.left + m_painter.GetWidth(),
                         rcBand.top + m_painter.GetHeight()};
    // Just above the taskbar in the z-order. Placed after a topmost window a window becomes
    // topmost itself, so it shares the taskbar's band whichever that is; when the taskbar
    // comes to the front (a click on it), the next tick puts the window back above it.
    const HWND hwndAbove = GetWindow(GetAncestor(m_hwndBand, GA_ROOT), GW_HWNDPREV);
    if (hwndAbove == m_hwndHost && EqualRect(&rcShow, &m_rcShown))
        return;
    UINT uFlags = SWP_NOACTIVATE | SWP_SHOWWINDOW;
    if (hwndAbove == m_hwndHost)
        uFlags |= SWP_NOZORDER;
    SetWindowPos(m_hwndHost, hwndAbove ? hwndAbove : HWND_TOPMOST, rcShow.left, rcShow.top, rcShow.right - rcShow.left,
                 rcShow.bottom - rcShow.top, uFlags);
    m_rcShown = rcShow;
}

void CReferenceHost::OnVolumeChanged()
{
    m_volume = m_pVolume->LatestChange();
    PrintVolume("another program changed the volume", m_volume);
    InvalidateRect(m_hwndHost, nullptr, FALSE);
}

void CReferenceHost::OnPaint()
{
    PAINTSTRUCT ps;
    const HDC hdc = BeginPaint(m_hwndHost, &ps);
    m_painter.Paint(hdc, m_volume);
    EndPaint(m_hwndHost, &ps);
}
