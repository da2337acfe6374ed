#include "CReferenceHost.h"

#include <stdio.h>

#include "PngEncoder.h"

namespace
{
const char kszHostClass[] = "VeltrixReferenceHost";
// Posted to ourselves: save the snapshots copied while handling WM_COPYDATA.
const UINT WM_APP_SAVESNAPSHOTS = WM_APP + 1;
// How often the host looks for the band while it has none.
const UINT_PTR kidLookForBand = 1;
const UINT kmsLookForBand = 200;
// A band that does not answer within this time is treated as gone.
const UINT kmsBandTimeout = 2000;

LRESULT AskBand(HWND hwndUtility, UINT uMsg, LPARAM lParam = 0)
{
    DWORD_PTR dwResult = 0;
    if (!SendMessageTimeoutA(hwndUtility, uMsg, 0, lParam, SMTO_ABORTIFHUNG, kmsBandTimeout, &dwResult))
        return 0;
    return static_cast<LRESULT>(dwResult);
}
}

CReferenceHost::CReferenceHost(const std::string& strOutputFolder, unsigned cSnapshotsWanted,
                               const char* pszRegisteredEvent)
    : m_strOutputFolder(strOutputFolder), m_cSnapshotsWanted(cSnapshotsWanted),
      m_hRegisteredEvent(pszRegisteredEvent ? CreateEventA(nullptr, FALSE, FALSE, pszRegisteredEvent) : nullptr),
      m_hwndHost(nullptr), m_hwndUtility(nullptr), m_hwndBand(nullptr), m_cReceived(0), m_cHandled(0), m_cSaved(0),
      m_cFailed(0)
{
}

CReferenceHost::~CReferenceHost()
{
    if (m_hwndHost)
        DestroyWindow(m_hwndHost);
    if (m_hRegisteredEvent)
        CloseHandle(m_hRegisteredEvent);
}

bool CReferenceHost::Create()
{
    CreateDirectoryA(m_strOutputFolder.c_str(), nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kszHostClass;
    RegisterClassA(&wc);
    // A real host registers the window it draws the band's content in. This one draws
    // nothing, so its window stays hidden.
    m_hwndHost =
        CreateWindowExA(0, kszHostClass, "Reference host", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, this);
    if (!m_hwndHost)
        return false;
    SetTimer(m_hwndHost, kidLookForBand, kmsLookForBand, nullptr);
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
    switch (uMsg) {
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_APP_SAVESNAPSHOTS:
        SavePendingSnapshots();
        return 0;
    case WM_TIMER:
        LookForBand();
        return 0;
    case WM_CLOSE:
        UnregisterFromBand();
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kidLookForBand);
        m_hwndHost = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

// Called at start and then periodically: registers with the band when there is one and we
// are not registered with it, which covers a band that was restarted (its utility window gone
// and a new one created).
void CReferenceHost::LookForBand()
{
    if (m_hwndUtility && IsWindow(m_hwndUtility))
        return;
    if (m_hwndUtility) {
        printf("host: the band went away; waiting for it to come back\n");
        m_hwndUtility = nullptr;
        m_hwndBand = nullptr;
    }
    const HWND hwndUtility = FindWindowA(DESKBAND_UTILITY_CLASS, DESKBAND_UTILITY_TITLE);
    if (hwndUtility)
        RegisterWithBand(hwndUtility);
}

void CReferenceHost::RegisterWithBand(HWND hwndUtility)
{
    // The three queries: where the band is, how the taskbar shows it, and its colour.
    m_hwndBand = reinterpret_cast<HWND>(AskBand(hwndUtility, WM_DESKBAND_GETBANDWINDOW));
    const DWORD dwViewMode = static_cast<DWORD>(AskBand(hwndUtility, WM_DESKBAND_GETVIEWMODE));
    const COLORREF crBkgnd = static_cast<COLORREF>(AskBand(hwndUtility, WM_DESKBAND_GETBKCOLOR));
    printf("host: found the band: utility window %p, band window %p, view mode %lu, background colour "
           "RGB(%u, %u, %u)\n",
           static_cast<void*>(hwndUtility), static_cast<void*>(m_hwndBand), dwViewMode, GetRValue(crBkgnd),
           GetGValue(crBkgnd), GetBValue(crBkgnd));

    // Registration. The band answers with a first snapshot before this call returns, so
    // m_hwndUtility must already name the window that sends it.
    m_hwndUtility = hwndUtility;
    const unsigned cBefore = m_cReceived;
    AskBand(hwndUtility, WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(m_hwndHost));
    printf("host: registered window %p; %u snapshot(s) arrived while registering\n", static_cast<void*>(m_hwndHost),
           m_cReceived - cBefore);
    fflush(stdout);
    if (m_hRegisteredEvent)
        SetEvent(m_hRegisteredEvent);
}

// A polite host tells the band when it stops listening.
void CReferenceHost::UnregisterFromBand()
{
    if (m_hwndUtility && IsWindow(m_hwndUtility))
        AskBand(m_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0);
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
    // the pixels now and do the slow work (here: writing a file) afterwards.
    const uint8_t* pbPixels = static_cast<const uint8_t*>(pcds->lpData) + DESKBAND_SNAPSHOT_PIXEL_OFFSET;
    Snapshot snapshot;
    snapshot.header = header;
    snapshot.pixels.assign(pbPixels, pbPixels + 4 * static_cast<size_t>(header.nWidth) * header.nHeight);
    m_pending.push_back(std::move(snapshot));
    PostMessageA(m_hwndHost, WM_APP_SAVESNAPSHOTS, 0, 0);
    return TRUE;
}

void CReferenceHost::SavePendingSnapshots()
{
    std::vector<Snapshot> pending;
    pending.swap(m_pending);
    for (const Snapshot& snapshot : pending) {
        const unsigned long nWidth = snapshot.header.nWidth;
        const unsigned long nHeight = snapshot.header.nHeight;
        const std::string strPath = m_strOutputFolder + "/snapshot-" + std::to_string(++m_cHandled) + "-" +
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
    if (m_cSnapshotsWanted != 0 && m_cHandled >= m_cSnapshotsWanted)
        Close();
}

bool CReferenceHost::SaveSnapshot(const Snapshot& snapshot, const std::string& strPath)
{
    const std::vector<uint8_t> png =
        EncodePngFromBgrx(snapshot.header.nWidth, snapshot.header.nHeight, snapshot.pixels.data());
    if (png.empty())
        return false;
    const HANDLE hFile =
        CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const BOOL fWritten = WriteFile(hFile, png.data(), static_cast<DWORD>(png.size()), &cbWritten, nullptr);
    const BOOL fClosed = CloseHandle(hFile);
    return fWritten && fClosed && cbWritten == png.size();
}
