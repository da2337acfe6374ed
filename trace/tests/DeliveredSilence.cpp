// The delivered libraries, driven as their callers drive them, write nothing: CTest runs this
// program once per library and fails it on any output (or a scenario that did not run through).
#include <windows.h>
#include <shobjidl.h>

#include <cstring>

#include "CSitedBand.h"
#include "Quillon.h"

namespace
{
// A band sited on a test taskbar, resized without and with a host window registered,
// repainted, re-themed and closed: every path of the band that traces.
bool RunDeskBand()
{
    CSitedBand band;
    if (!band.IsSited())
        return false;
    HWND hwndHost = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    band.ResizeBand(0, 0, 120, 30);
    band.Ask(WM_DESKBAND_SETHOSTWINDOW, reinterpret_cast<LPARAM>(hwndHost));
    band.ResizeBand(0, 0, 160, 30);
    SendMessageA(band.m_hwndBand, WM_ERASEBKGND, 0, 0);
    band.Ask(WM_THEMECHANGED);
    band.Ask(WM_SYSCOLORCHANGE);
    PumpMessages();
    (void)band.m_pBand->CloseDW(0);
    (void)band.m_pWithSite->SetSite(nullptr);
    DestroyWindow(hwndHost);
    return true;
}

// Open the default endpoint, read the level, step it up and down and trace it with Test (whose
// failures trace too, as under Wine, where the level cannot be set), and put the level back.
bool RunQuillon()
{
    CQuillon quillon;
    float fLevel = 0;
    if (!quillon.Initialize(eFindDefault, nullptr) || !quillon.GetVolume(&fLevel, true))
        return false;
    for (int nMode = 1; nMode <= 3; ++nMode)
        quillon.Test(nMode);
    quillon.SetVolume(fLevel, true);
    return true;
}
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool fRan = strcmp(argv[1], "quillon") == 0 ? RunQuillon() : RunDeskBand();
    CoUninitialize();
    return fRan ? 0 : 1;
}
