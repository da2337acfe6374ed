#pragma once

// What the desk band's tests share with their helper programs (the test host in C, the hostile
// host, the benchmark): finding a band as a host finds it, their hidden windows, and the
// commands between a test and its test host. C and C++ alike.
#include <windows.h>

#include <string.h>

#include "DeskbandProtocol.h"

// lParam: the process to look in, then the window found.
static inline BOOL CALLBACK MatchUtilityWindow(HWND hwnd, LPARAM lParam)
{
    DWORD_PTR* pSearch = (DWORD_PTR*)lParam;
    DWORD dwOwner = 0;
    char szClass[64] = "", szTitle[64] = "";
    GetWindowThreadProcessId(hwnd, &dwOwner);
    if (dwOwner != pSearch[0] || !GetClassNameA(hwnd, szClass, sizeof(szClass)) ||
        strcmp(szClass, DESKBAND_UTILITY_CLASS) != 0 || !GetWindowTextA(hwnd, szTitle, sizeof(szTitle)) ||
        strcmp(szTitle, DESKBAND_UTILITY_TITLE) != 0)
        return TRUE;
    pSearch[1] = (DWORD_PTR)hwnd;
    return FALSE;
}

// The utility window of a band in the given process, found by class and title. Test programs
// run side by side, each with bands of its own that come and go: the windows are listed first,
// where a FindWindowExA chain would end at a window that has gone.
static inline HWND FindUtilityWindowOf(DWORD dwProcessId)
{
    DWORD_PTR search[2] = {dwProcessId, 0};
    EnumWindows(MatchUtilityWindow, (LPARAM)search);
    return (HWND)search[1];
}

// Hidden: visible top-level windows are slow to destroy under a bare X server.
static inline HWND CreateHiddenWindow(const char* pszClass, WNDPROC pfnWndProc, int cx, int cy)
{
    const WNDCLASSA wc = {0, pfnWndProc, 0, 0, NULL, NULL, NULL, NULL, NULL, pszClass};
    RegisterClassA(&wc);
    return CreateWindowExA(0, pszClass, "", WS_POPUP, 0, 0, cx, cy, NULL, NULL, NULL, NULL);
}

// A helper program's message loop, until a window of it posts the quit.
static inline void RunMessageLoop(void)
{
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
}

// Handles the messages that are there now.
static inline void PumpMessages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

// The test host (TestHost.c) is started with the test's collector window, whose process holds
// the band. Host to collector, posted once the host window exists: lParam is that window.
#define TESTHOST_READY (WM_APP + 1)
// Test to host: find the band's utility window and register with it; the answer is that
// window, or 0. The snapshot sent during the registration reaches the collector first.
#define TESTHOST_REGISTER (WM_APP + 2)
// Test to host: in the next snapshot stop handling messages for 3 s, as a hung program does.
#define TESTHOST_HANG (WM_APP + 3)
