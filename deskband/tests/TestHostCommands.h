#pragma once

#include <windows.h>

#include "DeskbandProtocol.h"

// What the tests ask of the host helper process (TestHost.cpp), and the report it returns.
// The helper's window is found by class and by the title passed on its command line.

// The utility window of a band in the given process, found by class and title as the host
// finds it. Test processes running side by side each have bands of their own, so a plain
// FindWindowA could answer another test's band.
inline HWND FindUtilityWindowOf(DWORD dwProcessId, HWND hwndAfter = nullptr)
{
    HWND hwnd = hwndAfter;
    while ((hwnd = FindWindowExA(nullptr, hwnd, DESKBAND_UTILITY_CLASS, DESKBAND_UTILITY_TITLE)) != nullptr) {
        DWORD dwOwner = 0;
        GetWindowThreadProcessId(hwnd, &dwOwner);
        if (dwOwner == dwProcessId)
            return hwnd;
    }
    return nullptr;
}
const char TESTHOST_CLASS[] = "DeskbandTestHost";
// Find the band's utility window, ask it the three questions, register; TRUE when found.
const UINT TESTHOST_REGISTER = WM_APP + 1;
// Send the report as WM_COPYDATA to the window in wParam, then forget the snapshots.
const UINT TESTHOST_REPORT = WM_APP + 2;
const ULONG_PTR TESTHOST_REPORT_ID = 0x7E57;
// Stop handling messages, as a hung program does: set the event NAME-hung, then wait for the
// event NAME-resume.
const UINT TESTHOST_HANG = WM_APP + 3;

// The report: this header, then for each snapshot a TESTHOSTSNAPSHOT and its cbData bytes.
struct TESTHOSTREPORT
{
    HWND hwndUtility;
    HWND hwndBand;
    DWORD dwViewMode;
    COLORREF crBkgnd;
    DWORD cDuringRegister; // snapshots that arrived before registration returned
    DWORD cSnapshots;
};

struct TESTHOSTSNAPSHOT
{
    HWND hwndSender;
    ULONG_PTR dwData;
    DWORD cbData;
    BOOL fValid; // as the protocol header's check judged it
};
