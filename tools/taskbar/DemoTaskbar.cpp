// The demo taskbar: plays the shell's part for the desk band. It creates the band through
// the registry (CoCreateInstance of its class), sites it on a taskbar-like window, asks for
// its band information and shows it; once the host has registered it resizes the band twice
// and announces a theme change; then it closes and unsites the band.
//
//   demo_taskbar HOST_REGISTERED_EVENT [--images FOLDER]
//
// HOST_REGISTERED_EVENT names the event the host sets once it has registered with the band.
// With --images, before closing the band it saves what the screen shows of the taskbar, with
// the host's drawing in the band's slot, as FOLDER/taskbar.png; then, as another program, it
// changes the volume of the simulated audio service that the host serves, and saves the
// taskbar again as FOLDER/taskbar-volume-changed.png. Each image is checked against what the
// taskbar paints by itself: the pixels that differ lie inside the slot and clear of its edges,
// and the second differs from the first. One line per step on stdout; exit code 0 when every
// step succeeded.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "CComRef.h"
#include "CScopedHandle.h"
#include "CDemoSite.h"
#include "CDemoTaskbar.h"
#include "CTaskbarImage.h"
#include "SimVolumeRequest.h"

namespace
{
// The desk band's class, as the shell finds it among the registered desk bands.
const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};
const DWORD kdwBandId = 1;
const DWORD kmsHostTimeout = 30000;
// The pause between captures of the screen while waiting for the host's drawing.
const DWORD kmsCapturePause = 50;

// Where the taskbar puts the band after the host has registered, measured from its right end.
struct BANDSLOT
{
    int cxFromRight;
    int y;
    int cx;
    int cy;
};
const BANDSLOT kaSlots[] = {{360, 0, 240, 40}, {300, 6, 150, 28}};
// The volume that another program sets while the host draws in the slot.
const float kfOtherProgramLevel = 0.80f;

int Fail(const char* pszStep, HRESULT hr)
{
    printf("taskbar: FAILED: %s (0x%08lX)\n", pszStep, static_cast<unsigned long>(hr));
    return 1;
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Waits for the event (or, without one, for the time) while handling messages: the host's
// queries and registration are messages that the band's windows handle on this thread.
bool WaitPumping(HANDLE hEvent, DWORD dwTimeout)
{
    const DWORD dwStart = GetTickCount();
    for (;;) {
        const DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeout)
            return false;
        const DWORD cEvents = hEvent ? 1 : 0;
        const DWORD dwWait = MsgWaitForMultipleObjects(cEvents, &hEvent, FALSE, dwTimeout - dwElapsed, QS_ALLINPUT);
        if (cEvents != 0 && dwWait == WAIT_OBJECT_0)
            return true;
        PumpMessages();
    }
}

BOOL CALLBACK SendThemeChanged(HWND hwnd, LPARAM)
{
    SendMessageA(hwnd, WM_THEMECHANGED, 0, 0);
    return TRUE;
}

// The band window follows the taskbar's layout; its new size reaches the host as a fresh
// snapshot while the messages are handled.
void MoveBand(HWND hwndBand, const CDemoTaskbar& taskbar, const BANDSLOT& slot)
{
    const int x = taskbar.GetWidth() - slot.cxFromRight;
    SetWindowPos(hwndBand, nullptr, x, slot.y, slot.cx, slot.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    PumpMessages();
    printf("taskbar: resized the band to %dx%d at (%d, %d)\n", slot.cx, slot.cy, x, slot.y);
}

// As another program changes the volume: through the simulated audio service that the host
// serves, with an event context of our own. The host has been told when this returns.
bool ChangeVolumeAsOtherProgram(HWND hwndSender, float fLevel)
{
    const HWND hwndService = FindWindowExA(HWND_MESSAGE, nullptr, SIMVOLUME_WINDOW_CLASS, nullptr);
    SIMVOLUMEREQUEST request = {fLevel, FALSE, {}};
    if (!hwndService || FAILED(CoCreateGuid(&request.guidEventContext)))
        return false;
    COPYDATASTRUCT cds = {SIMVOLUME_REQUEST_ID, sizeof(request), &request};
    DWORD_PTR dwResult = FALSE;
    return SendMessageTimeoutA(hwndService, WM_COPYDATA, reinterpret_cast<WPARAM>(hwndSender),
                               reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG, kmsHostTimeout, &dwResult) &&
           dwResult == TRUE;
}

// A rectangle of pixels that differ, inside the slot and clear of its edges: the slot's
// border and the rest of the taskbar are the taskbar's own pixels, so no seam shows.
bool IsInsideSlot(const RECT& rc, const RECT& rcSlot)
{
    return !IsRectEmpty(&rc) && rc.left > rcSlot.left && rc.top > rcSlot.top && rc.right < rcSlot.right &&
           rc.bottom < rcSlot.bottom;
}

std::string DescribeInSlot(const RECT& rc, const RECT& rcSlot)
{
    char sz[96];
    snprintf(sz, sizeof(sz), "(%ld, %ld) %ldx%ld of the band's %ldx%ld slot", rc.left - rcSlot.left,
             rc.top - rcSlot.top, rc.right - rc.left, rc.bottom - rc.top, rcSlot.right - rcSlot.left,
             rcSlot.bottom - rcSlot.top);
    return sz;
}

// What the screen shows over the taskbar with the host's drawing. The host draws after it has
// handled what it was sent, and the desktop shows a window's drawing on its own schedule, so
// the screen is captured until it shows what is expected twice in a row: pixels that differ
// from the taskbar's own only inside the slot (the drawing) and, with pPrevious, a change
// from that image. False, with the last capture, after a while.
bool CaptureHostDrawing(const CDemoTaskbar& taskbar, const RECT& rcSlot, const CTaskbarImage* pPrevious,
                        CTaskbarImage* pImage, RECT* prcDrawing)
{
    RECT rcTaskbar = {};
    GetWindowRect(taskbar.GetHwnd(), &rcTaskbar);
    const CTaskbarImage own = CTaskbarImage::FromPaint(taskbar.GetHwnd(), taskbar.GetWidth(), taskbar.GetHeight());
    const DWORD dwStart = GetTickCount();
    for (;;) {
        CTaskbarImage image = CTaskbarImage::FromScreen(rcTaskbar);
        const auto differsFrom = [&](const CTaskbarImage& other) {
            const RECT rc = image.DifferenceFrom(other);
            return !IsRectEmpty(&rc);
        };
        *prcDrawing = image.DifferenceFrom(own);
        const bool bShown =
            !differsFrom(*pImage) && IsInsideSlot(*prcDrawing, rcSlot) && (!pPrevious || differsFrom(*pPrevious));
        *pImage = std::move(image);
        if (bShown || GetTickCount() - dwStart > kmsHostTimeout)
            return bShown;
        WaitPumping(nullptr, kmsCapturePause);
    }
}

// Saves what the screen shows once it shows the host's drawing (rcSlot in taskbar coordinates).
int SaveHostDrawing(const CDemoTaskbar& taskbar, const RECT& rcSlot, const std::string& strPath,
                    const CTaskbarImage* pPrevious, CTaskbarImage* pImage)
{
    RECT rcDrawing = {};
    if (!CaptureHostDrawing(taskbar, rcSlot, pPrevious, pImage, &rcDrawing)) {
        printf("taskbar: the screen differs from the taskbar's own pixels in (%ld, %ld)-(%ld, %ld); the band's slot "
               "is (%ld, %ld)-(%ld, %ld)\n",
               rcDrawing.left, rcDrawing.top, rcDrawing.right, rcDrawing.bottom, rcSlot.left, rcSlot.top, rcSlot.right,
               rcSlot.bottom);
        return Fail(pPrevious ? "a changed drawing, only inside the slot" : "the host's drawing, only inside the slot",
                    E_FAIL);
    }
    if (!pImage->SavePng(strPath))
        return Fail(("saving " + strPath).c_str(), E_FAIL);
    printf("taskbar: saved %s: the host's drawing in %s; every other pixel is the taskbar's own\n", strPath.c_str(),
           DescribeInSlot(rcDrawing, rcSlot).c_str());
    fflush(stdout);
    return 0;
}

// The host's drawing before and after another program changes the volume.
int SaveHostDrawings(const CDemoTaskbar& taskbar, HWND hwndBand, const std::string& strFolder)
{
    RECT rcSlot = {};
    GetWindowRect(hwndBand, &rcSlot);
    MapWindowPoints(nullptr, taskbar.GetHwnd(), reinterpret_cast<POINT*>(&rcSlot), 2);
    CTaskbarImage before;
    CTaskbarImage after;
    if (SaveHostDrawing(taskbar, rcSlot, strFolder + "/taskbar.png", nullptr, &before) != 0)
        return 1;
    if (!ChangeVolumeAsOtherProgram(taskbar.GetHwnd(), kfOtherProgramLevel))
        return Fail("changing the volume of the host's simulated audio service", E_FAIL);
    printf("taskbar: as another program, set the volume of the host's simulated audio service to %.2f, not muted\n",
           static_cast<double>(kfOtherProgramLevel));
    if (SaveHostDrawing(taskbar, rcSlot, strFolder + "/taskbar-volume-changed.png", &before, &after) != 0)
        return 1;
    printf("taskbar: the host's drawing changed in %s\n", DescribeInSlot(after.DifferenceFrom(before), rcSlot).c_str());
    return 0;
}

int RunBand(const CDemoTaskbar& taskbar, HANDLE hHostRegistered, const char* pszImageFolder)
{
    CComRef<IDeskBand> band;
    HRESULT hr = CoCreateInstance(kClsidDeskband, nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand, band.ReceiveVoid());
    if (FAILED(hr))
        return Fail("CoCreateInstance of the desk band class", hr);
    printf("taskbar: created the band through CoCreateInstance of its registered class\n");

    CComRef<IObjectWithSite> withSite;
    CComRef<CDemoSite> site(new CDemoSite(taskbar.GetHwnd()));
    hr = band->QueryInterface(IID_IObjectWithSite, withSite.ReceiveVoid());
    if (FAILED(hr))
        return Fail("asking the band for IObjectWithSite", hr);
    hr = withSite->SetSite(static_cast<IOleWindow*>(site.Get()));
    if (FAILED(hr))
        return Fail("siting the band", hr);
    HWND hwndBand = nullptr;
    hr = band->GetWindow(&hwndBand);
    if (FAILED(hr) || !IsWindow(hwndBand))
        return Fail("asking the sited band for its window", hr);
    printf("taskbar: sited the band; band window %p\n", static_cast<void*>(hwndBand));

    DESKBANDINFO dbi = {};
    dbi.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE | DBIM_MODEFLAGS | DBIM_BKCOLOR;
    dbi.crBkgnd = taskbar.GetBaseColour();
    hr = band->GetBandInfo(kdwBandId, DBIF_VIEWMODE_NORMAL, &dbi);
    if (FAILED(hr))
        return Fail("GetBandInfo", hr);
    printf("taskbar: band info: minimum %ldx%ld, actual %ldx%ld, mode flags 0x%lX\n", dbi.ptMinSize.x, dbi.ptMinSize.y,
           dbi.ptActual.x, dbi.ptActual.y, dbi.dwModeFlags);
    hr = band->ShowDW(TRUE);
    if (FAILED(hr))
        return Fail("ShowDW", hr);
    printf("taskbar: band shown\n");
    fflush(stdout);

    if (!WaitPumping(hHostRegistered, kmsHostTimeout))
        return Fail("waiting for the host to register", HRESULT_FROM_WIN32(WAIT_TIMEOUT));
    printf("taskbar: the host has registered\n");
    for (const BANDSLOT& slot : kaSlots)
        MoveBand(hwndBand, taskbar, slot);
    // The system tells every top-level window of a thread about a new theme.
    EnumThreadWindows(GetCurrentThreadId(), SendThemeChanged, 0);
    PumpMessages();
    printf("taskbar: sent a theme change\n");
    if (pszImageFolder && SaveHostDrawings(taskbar, hwndBand, pszImageFolder) != 0)
        return 1;

    band->ShowDW(FALSE);
    hr = band->CloseDW(0);
    if (FAILED(hr))
        return Fail("CloseDW", hr);
    hr = withSite->SetSite(nullptr);
    if (FAILED(hr))
        return Fail("unsiting the band", hr);
    printf("taskbar: closed and unsited the band\n");
    return 0;
}
}

int main(int argc, char** argv)
{
    const bool bImages = argc == 4 && strcmp(argv[2], "--images") == 0;
    if (argc != 2 && !bImages) {
        fprintf(stderr, "usage: demo_taskbar HOST_REGISTERED_EVENT [--images FOLDER]\n");
        return 2;
    }
    // A shell loads only bands of its own bitness.
    printf("taskbar: %d-bit process\n", static_cast<int>(8 * sizeof(void*)));
    // The shell's taskbar thread is a single-threaded apartment; the band expects one.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr))
        return Fail("CoInitializeEx", hr);
    CScopedHandle hostRegistered(CreateEventA(nullptr, FALSE, FALSE, argv[1]));
    int nExitCode = 1;
    {
        CDemoTaskbar taskbar;
        if (!hostRegistered.IsValid() || !taskbar.Create()) {
            Fail("creating the taskbar window", HRESULT_FROM_WIN32(GetLastError()));
        } else {
            printf("taskbar: %dx%d taskbar window %p\n", taskbar.GetWidth(), taskbar.GetHeight(),
                   static_cast<void*>(taskbar.GetHwnd()));
            nExitCode = RunBand(taskbar, hostRegistered.Get(), bImages ? argv[3] : nullptr);
        }
    }
    CoUninitialize();
    fflush(stdout);
    return nExitCode;
}
