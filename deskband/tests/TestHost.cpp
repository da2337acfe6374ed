// A stand-in for the host program, run as a second process: it finds the band's utility
// window as the host does, registers a window of its own, records every WM_COPYDATA and
// reports what it saw when the tests ask.
#include <windows.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "DeskbandProtocol.h"
#include "TestHostCommands.h"

namespace
{
DWORD g_dwBandProcessId;
std::string g_strName;
TESTHOSTREPORT g_answers;
std::vector<BYTE> g_records; // TESTHOSTSNAPSHOT and bytes, one after the other

LRESULT Register(HWND hwnd)
{
    const HWND hwndUtility = FindUtilityWindowOf(g_dwBandProcessId);
    g_answers.hwndUtility = hwndUtility;
    if (!hwndUtility)
        return FALSE;
    g_answers.hwndBand = reinterpret_cast<HWND>(SendMessageA(hwndUtility, WM_DESKBAND_GETBANDWINDOW, 0, 0));
    g_answers.dwViewMode = static_cast<DWORD>(SendMessageA(hwndUtility, WM_DESKBAND_GETVIEWMODE, 0, 0));
    g_answers.crBkgnd = static_cast<COLORREF>(SendMessageA(hwndUtility, WM_DESKBAND_GETBKCOLOR, 0, 0));
    const DWORD cBefore = g_answers.cSnapshots;
    SendMessageA(hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwnd));
    g_answers.cDuringRegister = g_answers.cSnapshots - cBefore;
    return TRUE;
}

LRESULT Record(HWND hwndSender, const COPYDATASTRUCT* pcds)
{
    const TESTHOSTSNAPSHOT record = {hwndSender, pcds->dwData, pcds->cbData,
                                     DeskbandSnapshotIsValid(pcds->dwData, pcds->lpData, pcds->cbData, nullptr)};
    const BYTE* pRecord = reinterpret_cast<const BYTE*>(&record);
    const BYTE* pData = static_cast<const BYTE*>(pcds->lpData);
    g_records.insert(g_records.end(), pRecord, pRecord + sizeof(record));
    g_records.insert(g_records.end(), pData, pData + pcds->cbData);
    ++g_answers.cSnapshots;
    return TRUE;
}

LRESULT Report(HWND hwnd, HWND hwndTo)
{
    std::vector<BYTE> report(reinterpret_cast<const BYTE*>(&g_answers),
                             reinterpret_cast<const BYTE*>(&g_answers + 1));
    report.insert(report.end(), g_records.begin(), g_records.end());
    COPYDATASTRUCT cds = {TESTHOST_REPORT_ID, static_cast<DWORD>(report.size()), report.data()};
    SendMessageA(hwndTo, WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&cds));
    g_records.clear();
    g_answers.cSnapshots = 0;
    return TRUE;
}

LRESULT Hang()
{
    const HANDLE hHung = OpenEventA(EVENT_MODIFY_STATE, FALSE, (g_strName + "-hung").c_str());
    const HANDLE hResume = OpenEventA(SYNCHRONIZE, FALSE, (g_strName + "-resume").c_str());
    if (hHung && hResume) {
        SetEvent(hHung);
        WaitForSingleObject(hResume, 30000);
    }
    CloseHandle(hHung);
    CloseHandle(hResume);
    return 0;
}

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case TESTHOST_REGISTER:
        return Register(hwnd);
    case TESTHOST_REPORT:
        return Report(hwnd, reinterpret_cast<HWND>(wParam));
    case TESTHOST_HANG:
        return Hang();
    case WM_COPYDATA:
        return Record(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}
}

// Usage: deskband_testhost NAME PID. The window gets the title NAME, and the event NAME is
// set once it exists. The band to talk to is the one in process PID.
int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    g_strName = argv[1];
    g_dwBandProcessId = strtoul(argv[2], nullptr, 10);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = TESTHOST_CLASS;
    RegisterClassA(&wc);
    // Hidden: visible top-level windows are slow to destroy under a bare X server.
    const HWND hwnd = CreateWindowExA(0, TESTHOST_CLASS, argv[1], WS_POPUP, 0, 0, 10, 10,
                                      nullptr, nullptr, wc.hInstance, nullptr);
    const HANDLE hReady = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (!hwnd || !hReady)
        return 1;
    SetEvent(hReady);
    CloseHandle(hReady);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
