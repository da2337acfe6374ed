// The demo taskbar: plays the shell's part for the desk band. It creates the band through
// the registry (CoCreateInstance of its class), sites it on a taskbar-like window, asks for
// its band information and shows it; once the host has registered it resizes the band twice
// and announces a theme change; then it closes and unsites the band.
//
//   demo_taskbar HOST_REGISTERED_EVENT
//
// HOST_REGISTERED_EVENT names the event the host sets once it has registered with the band.
// One line per step on stdout; exit code 0 when every step succeeded.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdio.h>

#include "CComHolder.h"
#include "CDemoSite.h"
#include "CDemoTaskbar.h"

namespace
{
// The desk band's class, as the shell finds it among the registered desk bands.
const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};
const DWORD kdwBandId = 1;
const DWORD kmsHostTimeout = 30000;

// Where the taskbar puts the band after the host has registered, measured from its right end.
struct BANDSLOT
{
    int cxFromRight;
    int y;
    int cx;
    int cy;
};
const BANDSLOT kaSlots[] = {{360, 0, 240, 40}, {300, 6, 150, 28}};

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

// Waits for the event while handling messages: the host's queries and registration are
// messages that the band's windows handle on this thread.
bool WaitPumping(HANDLE hEvent, DWORD dwTimeout)
{
    const DWORD dwStart = GetTickCount();
    for (;;) {
        const DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeout)
            return false;
        const DWORD dwWait = MsgWaitForMultipleObjects(1, &hEvent, FALSE, dwTimeout - dwElapsed, QS_ALLINPUT);
        if (dwWait == WAIT_OBJECT_0)
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

int RunBand(const CDemoTaskbar& taskbar, HANDLE hHostRegistered)
{
    CComHolder<IDeskBand> band;
    HRESULT hr = CoCreateInstance(kClsidDeskband, nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand, band.ReceiveVoid());
    if (FAILED(hr))
        return Fail("CoCreateInstance of the desk band class", hr);
    printf("taskbar: created the band through CoCreateInstance of its registered class\n");

    CComHolder<IObjectWithSite> withSite;
    CComHolder<CDemoSite> site(new CDemoSite(taskbar.GetHwnd()));
    hr = band->QueryInterface(IID_IObjectWithSite, withSite.ReceiveVoid());
    if (SUCCEEDED(hr))
        hr = withSite->SetSite(static_cast<IOleWindow*>(site.Get()));
    HWND hwndBand = nullptr;
    if (SUCCEEDED(hr))
        hr = band->GetWindow(&hwndBand);
    if (FAILED(hr) || !IsWindow(hwndBand))
        return Fail("siting the band", hr);
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
    if (argc != 2) {
        fprintf(stderr, "usage: demo_taskbar HOST_REGISTERED_EVENT\n");
        return 2;
    }
    // A shell loads only bands of its own bitness.
    printf("taskbar: %d-bit process\n", static_cast<int>(8 * sizeof(void*)));
    // The shell's taskbar thread is a single-threaded apartment; the band expects one.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr))
        return Fail("CoInitializeEx", hr);
    const HANDLE hHostRegistered = CreateEventA(nullptr, FALSE, FALSE, argv[1]);
    int nExitCode = 1;
    {
        CDemoTaskbar taskbar;
        if (!hHostRegistered || !taskbar.Create()) {
            Fail("creating the taskbar window", HRESULT_FROM_WIN32(GetLastError()));
        } else {
            printf("taskbar: %dx%d taskbar window %p\n", taskbar.GetWidth(), taskbar.GetHeight(),
                   static_cast<void*>(taskbar.GetHwnd()));
            nExitCode = RunBand(taskbar, hHostRegistered);
        }
    }
    if (hHostRegistered)
        CloseHandle(hHostRegistered);
    CoUninitialize();
    fflush(stdout);
    return nExitCode;
}
