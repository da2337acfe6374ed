// A host written in C, run as a second process by the desk band's tests: it finds the band of
// the process named on its command line as a host finds it, registers a window, checks the
// snapshot that arrives before the registration returns, and unregisters. The exit code is 0
// when the band answered and exactly one snapshot of the band window's size arrived.
#include <windows.h>

#include <stdlib.h>

#include "DeskbandProtocol.h"

// In CLanguageHostCheck.c, which sees nothing but the protocol header.
bool SnapshotFitsBand(uintptr_t dwData, const void* pvData, size_t cbData, uint32_t nWidth, uint32_t nHeight);

static HWND g_hwndUtility;
static HWND g_hwndBand;
static int g_cFitting;
static int g_cOther;

static LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    const COPYDATASTRUCT* pcds = (const COPYDATASTRUCT*)lParam;
    RECT rc;
    if (uMsg != WM_COPYDATA)
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    if ((HWND)wParam == g_hwndUtility && GetClientRect(g_hwndBand, &rc) &&
        SnapshotFitsBand(pcds->dwData, pcds->lpData, pcds->cbData, (uint32_t)rc.right, (uint32_t)rc.bottom))
        ++g_cFitting;
    else
        ++g_cOther;
    return TRUE;
}

// Test programs run side by side, each with bands of its own that come and go: the one in the
// given process, from a list of the windows (a FindWindowExA chain ends at a window that has gone).
typedef struct SEARCH
{
    DWORD dwProcessId;
    HWND hwndFound;
} SEARCH;

static BOOL CALLBACK MatchUtilityWindow(HWND hwnd, LPARAM lParam)
{
    SEARCH* pSearch = (SEARCH*)lParam;
    DWORD dwOwner = 0;
    char szClass[64] = "", szTitle[64] = "";
    GetWindowThreadProcessId(hwnd, &dwOwner);
    if (dwOwner != pSearch->dwProcessId || !GetClassNameA(hwnd, szClass, sizeof(szClass)) ||
        strcmp(szClass, DESKBAND_UTILITY_CLASS) != 0 || !GetWindowTextA(hwnd, szTitle, sizeof(szTitle)) ||
        strcmp(szTitle, DESKBAND_UTILITY_TITLE) != 0)
        return TRUE;
    pSearch->hwndFound = hwnd;
    return FALSE;
}

static HWND FindUtilityWindowOf(DWORD dwProcessId)
{
    SEARCH search = {dwProcessId, NULL};
    EnumWindows(MatchUtilityWindow, (LPARAM)&search);
    return search.hwndFound;
}

int main(int argc, char** argv)
{
    WNDCLASSA wc = {0};
    HWND hwndHost;
    DWORD_PTR dwBand = 0;
    if (argc != 2 || (g_hwndUtility = FindUtilityWindowOf(strtoul(argv[1], NULL, 10))) == NULL)
        return 1;
    wc.lpfnWndProc = HostWndProc;
    wc.lpszClassName = "DeskbandCLanguageHost";
    RegisterClassA(&wc);
    hwndHost = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    if (!hwndHost ||
        !SendMessageTimeoutA(g_hwndUtility, WM_DESKBAND_GETBANDWINDOW, 0, 0, SMTO_ABORTIFHUNG, 5000, &dwBand) ||
        !IsWindow(g_hwndBand = (HWND)dwBand))
        return 2;
    SendMessageA(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, (LPARAM)hwndHost);
    SendMessageA(g_hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, 0);
    return g_cFitting == 1 && g_cOther == 0 ? 0 : 3;
}
