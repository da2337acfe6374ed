#pragma once

#include <windows.h>

#include <string>

#include "DeskbandProtocol.h"

// Between the tests and the host helper process (TestHost.cpp). The helper is started with
// the test's collector window on its command line; the band it talks to is the one in the
// collector's process, and every WM_COPYDATA it receives goes on to the collector unchanged,
// except one that arrives while it still handles another: a host is never re-entered.

// The utility window of a band in the given process, found by class and title as the host
// finds it. Test processes running side by side each have bands of their own, so a plain
// FindWindowA could answer another test's band.
// The bands of other tests come and go meanwhile: EnumWindows lists the windows first, where a
// FindWindowExA chain would end at a window that has gone. hwndOther is passed over.
struct UtilityWindowSearch
{
    DWORD dwProcessId;
    HWND hwndOther;
    HWND hwndFound;

    static BOOL CALLBACK Match(HWND hwnd, LPARAM lParam)
    {
        UtilityWindowSearch& search = *reinterpret_cast<UtilityWindowSearch*>(lParam);
        DWORD dwOwner = 0;
        char szClass[64] = "", szTitle[64] = "";
        GetWindowThreadProcessId(hwnd, &dwOwner);
        if (dwOwner != search.dwProcessId || hwnd == search.hwndOther ||
            !GetClassNameA(hwnd, szClass, sizeof(szClass)) || strcmp(szClass, DESKBAND_UTILITY_CLASS) != 0 ||
            !GetWindowTextA(hwnd, szTitle, sizeof(szTitle)) || strcmp(szTitle, DESKBAND_UTILITY_TITLE) != 0)
            return TRUE;
        search.hwndFound = hwnd;
        return FALSE;
    }
};

inline HWND FindUtilityWindowOf(DWORD dwProcessId, HWND hwndOther = nullptr)
{
    UtilityWindowSearch search = {dwProcessId, hwndOther, nullptr};
    EnumWindows(UtilityWindowSearch::Match, reinterpret_cast<LPARAM>(&search));
    return search.hwndFound;
}

// A window of a test or a host helper, with its own class. Hidden: visible top-level windows
// are slow to destroy under a bare X server.
inline HWND CreateHiddenWindow(const char* pszClass, WNDPROC pfnWndProc, int cx, int cy)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = pfnWndProc;
    wc.lpszClassName = pszClass;
    RegisterClassA(&wc);
    return CreateWindowExA(0, pszClass, "", WS_POPUP, 0, 0, cx, cy, nullptr, nullptr, nullptr, nullptr);
}

// A helper process's message loop, until its window is destroyed.
inline void RunMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
}

// Helper to collector, posted once its window exists; lParam is that window.
const UINT TESTHOST_READY = WM_APP + 1;
// Test to helper: find the band's utility window and register with it; the result is the
// utility window found, or 0. Snapshots sent during registration reach the collector first.
const UINT TESTHOST_REGISTER = WM_APP + 2;
// Test to helper: while handling the next snapshot, register the window in lParam with the band
// (from inside WM_COPYDATA, as a host must not), then, if wParam, stop handling messages, as a
// hung program does, until the event TestHostEventName(collector, "resume") is set. The
// answer, TRUE, comes at once.
const UINT TESTHOST_ARM = WM_APP + 3;

inline std::string TestHostEventName(const std::string& strCollector, const char* pszWhat)
{
    return "DeskbandTestHost-" + strCollector + "-" + pszWhat;
}
