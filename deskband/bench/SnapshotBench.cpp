// Measures the snapshot path as the host sees it and the band's cold start, and prints
// bench-table rows (format in scripts/bench-table).
//
// For each band size the host, a second process (this program started with "host"), times
// its SendMessage of 9928, during which the band renders and sends one snapshot, against a
// baseline made of only the platform's work for the same size: DrawThemeParentBackground
// into a new 32-bit DIB section, and one WM_COPYDATA of the same byte count to the host. The
// two are measured back to back in many turns, and the ratio is the median of the turns'
// ratios, so that the load of a shared machine, which changes from turn to turn, cancels. Then the band is resized repeatedly and
// the time from the resize to the host's receipt of the new snapshot is taken.
//
// Cold start runs in fresh processes (this program started with "cold"): LoadLibrary,
// DllGetClassObject, CreateInstance, SetSite and the first snapshot, against LoadLibrary of
// an empty DLL, both the first load in their process.
#include <windows.h>
#include <shobjidl.h>
#include <uxtheme.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../tests/CTestSite.h"
#include "../tests/CTestTaskbar.h"
#include "DeskbandProtocol.h"
#include "../tests/TestShell.h"

namespace
{
const char kHostClass[] = "SnapshotBenchHost";
const char kBaselineClass[] = "SnapshotBenchBaseline";
// Host commands: time the two paths (wParam the utility window, lParam the baseline window);
// answer a result (wParam one of eResult).
const UINT WM_HOST_MEASURE = WM_APP + 1;
const UINT WM_HOST_RESULT = WM_APP + 2;
// To the baseline window: do the platform's work and send to the host in wParam.
const UINT WM_BASELINE_SNAPSHOT = WM_APP + 3;

enum eResult { eRatioPpm, eBandNs, eBaselineNs, eValidBlocks, eInvalidBlocks };

const int kcWarmUpTurns = 3;
const int kcTurns = 101;
const int kcResizes = 41;
const int kcColdStarts = 9;

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string ThisProgram()
{
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    return szExe;
}

void PrintRow(const char* pszGroup, const std::string& strItem, double dValue, const char* pszUnit,
              const char* pszGoal = "")
{
    printf("row\t%s\t%s\t%.3f\t%s\t%s\n", pszGroup, strItem.c_str(), dValue, pszUnit, pszGoal);
}

// ---- The host process

double g_dRatio;
double g_nsBand;
double g_nsBaseline;
LRESULT g_cValid;
LRESULT g_cInvalid;

double TimeSend(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    const double dStart = Now();
    SendMessageA(hwnd, uMsg, wParam, lParam);
    return Now() - dStart;
}

LRESULT Measure(HWND hwndHost, HWND hwndUtility, HWND hwndBaseline)
{
    std::vector<double> band, baseline, ratios;
    for (int iTurn = 0; iTurn < kcWarmUpTurns + kcTurns; ++iTurn) {
        const bool fBandFirst = iTurn % 2;
        double dBaseline = 0;
        if (!fBandFirst)
            dBaseline = TimeSend(hwndBaseline, WM_BASELINE_SNAPSHOT, reinterpret_cast<WPARAM>(hwndHost), 0);
        const double dBand = TimeSend(hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwndHost));
        if (fBandFirst)
            dBaseline = TimeSend(hwndBaseline, WM_BASELINE_SNAPSHOT, reinterpret_cast<WPARAM>(hwndHost), 0);
        if (iTurn >= kcWarmUpTurns) {
            band.push_back(dBand);
            baseline.push_back(dBaseline);
            ratios.push_back(dBand / dBaseline);
        }
    }
    g_dRatio = Median(ratios);
    g_nsBand = Median(band) * 1e9;
    g_nsBaseline = Median(baseline) * 1e9;
    return TRUE;
}

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_COPYDATA: {
        // What a host must do before it reads the pixels.
        const auto pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        ++(DeskbandSnapshotIsValid(pcds->dwData, pcds->lpData, pcds->cbData, nullptr) ? g_cValid : g_cInvalid);
        return TRUE;
    }
    case WM_HOST_MEASURE:
        return Measure(hwnd, reinterpret_cast<HWND>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_HOST_RESULT: {
        const LRESULT alResults[] = {static_cast<LRESULT>(g_dRatio * 1e6), static_cast<LRESULT>(g_nsBand), static_cast<LRESULT>(g_nsBaseline), g_cValid, g_cInvalid};
        return alResults[wParam];
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

int RunHost(const char* pszName)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWndProc;
    wc.lpszClassName = kHostClass;
    RegisterClassA(&wc);
    CreateWindowExA(0, kHostClass, pszName, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const HANDLE hReady = OpenEventA(EVENT_MODIFY_STATE, FALSE, pszName);
    SetEvent(hReady);
    CloseHandle(hReady);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

// The host process and its window, for the measuring process.
class CBenchHost
{
public:
    CBenchHost()
    {
        const std::string strName = "SnapshotBenchHost-" + std::to_string(GetCurrentProcessId());
        const HANDLE hReady = CreateEventA(nullptr, TRUE, FALSE, strName.c_str());
        std::string strCommand = "\"" + ThisProgram() + "\" host " + strName;
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        if (CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &m_pi)
            && WaitForSingleObject(hReady, 20000) == WAIT_OBJECT_0)
            m_hwnd = FindWindowA(kHostClass, strName.c_str());
        CloseHandle(hReady);
    }
    ~CBenchHost()
    {
        if (!m_pi.hProcess)
            return;
        PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(m_pi.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(m_pi.hProcess, 1);
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
    }
    CBenchHost(const CBenchHost&) = delete;
    CBenchHost& operator=(const CBenchHost&) = delete;

    LRESULT Result(eResult result) { return SendMessageA(m_hwnd, WM_HOST_RESULT, result, 0); }

    HWND m_hwnd = nullptr;

private:
    PROCESS_INFORMATION m_pi = {};
};

// ---- The platform's work alone, for the baseline

struct BaselineState
{
    HWND hwndBand;
    std::vector<BYTE> block;
};

void SendPlatformSnapshot(const BaselineState& state, HWND hwndSender, HWND hwndHost)
{
    RECT rc = {};
    GetClientRect(state.hwndBand, &rc);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = rc.right;
    bmi.bmiHeader.biHeight = -rc.bottom;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    const HDC hdc = CreateCompatibleDC(nullptr);
    void* pvBits = nullptr;
    const HBITMAP hBitmap = CreateDIBSection(hdc, &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0);
    const HGDIOBJ hOld = SelectObject(hdc, hBitmap);
    DrawThemeParentBackground(state.hwndBand, hdc, &rc);
    COPYDATASTRUCT cds = {DESKBAND_SNAPSHOT_ID, static_cast<DWORD>(state.block.size()),
                          const_cast<BYTE*>(state.block.data())};
    SendMessageA(hwndHost, WM_COPYDATA, reinterpret_cast<WPARAM>(hwndSender), reinterpret_cast<LPARAM>(&cds));
    SelectObject(hdc, hOld);
    DeleteDC(hdc);
    DeleteObject(hBitmap);
}

LRESULT CALLBACK BaselineWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != WM_BASELINE_SNAPSHOT)
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    const auto pState = reinterpret_cast<const BaselineState*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    SendPlatformSnapshot(*pState, hwnd, reinterpret_cast<HWND>(wParam));
    return TRUE;
}

// ---- A sited band

class CSitedBand
{
public:
    CSitedBand(int nWidth, int nHeight) : m_taskbar(nWidth, nHeight), m_site(m_taskbar.m_hwnd)
    {
        m_pBand = CreateBand();
        if (!m_pBand || FAILED(m_pBand->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&m_pWithSite))))
            return;
        m_pWithSite->SetSite(static_cast<IOleWindow*>(&m_site));
        m_pBand->GetWindow(&m_hwndBand);
        m_hwndUtility = UtilityWindow();
    }
    ~CSitedBand()
    {
        if (m_pWithSite) {
            m_pBand->CloseDW(0);
            m_pWithSite->SetSite(nullptr);
            m_pWithSite->Release();
        }
        if (m_pBand)
            m_pBand->Release();
    }
    CSitedBand(const CSitedBand&) = delete;
    CSitedBand& operator=(const CSitedBand&) = delete;

    bool HasSize(int nWidth, int nHeight) const
    {
        RECT rc = {};
        return GetClientRect(m_hwndBand, &rc) && rc.right == nWidth && rc.bottom == nHeight && IsWindow(m_hwndUtility);
    }

    HWND m_hwndBand = nullptr;
    HWND m_hwndUtility = nullptr;

private:
    CTestTaskbar m_taskbar;
    CTestSite m_site;
    IDeskBand* m_pBand = nullptr;
    IObjectWithSite* m_pWithSite = nullptr;
};

bool MeasureSnapshotPath(CBenchHost& host, int nWidth, int nHeight)
{
    const std::string strSize = std::to_string(nWidth) + "x" + std::to_string(nHeight);
    CSitedBand band(nWidth, nHeight);
    if (!band.HasSize(nWidth, nHeight)) {
        fprintf(stderr, "snapshot bench: no band of %s\n", strSize.c_str());
        return false;
    }

    BaselineState state = {band.m_hwndBand, {}};
    size_t cbBlock = 0;
    DeskbandSnapshotSize(nWidth, nHeight, &cbBlock);
    state.block.assign(cbBlock, 0);
    const DWORD adwHeader[] = {DESKBAND_SNAPSHOT_HEADER_WORD, static_cast<DWORD>(nWidth), static_cast<DWORD>(nHeight)};
    memcpy(state.block.data(), adwHeader, sizeof(adwHeader));
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BaselineWndProc;
    wc.lpszClassName = kBaselineClass;
    RegisterClassA(&wc);
    const HWND hwndBaseline = CreateWindowExA(0, kBaselineClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(hwndBaseline, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));

    SendMessageA(host.m_hwnd, WM_HOST_MEASURE, reinterpret_cast<WPARAM>(band.m_hwndUtility),
                 reinterpret_cast<LPARAM>(hwndBaseline));
    const double dRatio = host.Result(eRatioPpm) / 1e6;
    const double msBand = host.Result(eBandNs) / 1e6;
    const double msBaseline = host.Result(eBaselineNs) / 1e6;
    DestroyWindow(hwndBaseline);

    // The host stays registered from the last turn; every resize brings it a snapshot.
    std::vector<double> resizes;
    const LRESULT cBefore = host.Result(eValidBlocks);
    for (int i = 0; i < kcResizes; ++i) {
        const double dStart = Now();
        SetWindowPos(band.m_hwndBand, nullptr, 0, 0, nWidth - 1 + i % 2, nHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages();
        resizes.push_back(Now() - dStart);
    }
    if (host.Result(eValidBlocks) - cBefore != kcResizes || host.Result(eInvalidBlocks) != 0) {
        fprintf(stderr, "snapshot bench: the host did not get one good snapshot per resize at %s\n", strSize.c_str());
        return false;
    }

    PrintRow("Snapshot path", strSize + ": host's 9928 / platform baseline", dRatio, "x", "<= 1.10");
    PrintRow("Snapshot path", strSize + ": host's 9928 (render and snapshot)", msBand, "ms");
    PrintRow("Snapshot path", strSize + ": platform baseline", msBaseline, "ms");
    PrintRow("Snapshot path", strSize + ": resize to the host's receipt", Median(resizes) * 1e3, "ms");
    return true;
}

// ---- Cold start

// In a fresh process: prints the microseconds of LoadLibrary of the empty DLL, and of the
// band's whole start up to the host's receipt of the first snapshot.
int RunColdStart(HWND hwndHost)
{
    // What the shell has loaded long before it loads a band.
    LoadLibraryA("ole32.dll");
    LoadLibraryA("oleaut32.dll");
    LoadLibraryA("uxtheme.dll");
    CTestTaskbar taskbar(100, 30);
    CTestSite site(taskbar.m_hwnd);

    double dStart = Now();
    if (!LoadLibraryA("snapshot_bench_empty.dll"))
        return 1;
    const double dEmpty = Now() - dStart;

    dStart = Now();
    const HMODULE hVeltrix = LoadLibraryA("Veltrix.dll");
    typedef HRESULT(WINAPI * PFNGETCLASSOBJECT)(REFCLSID, REFIID, void**);
    const auto pfnGetClassObject = reinterpret_cast<PFNGETCLASSOBJECT>(GetProcAddress(hVeltrix, "DllGetClassObject"));
    IClassFactory* pFactory = nullptr;
    IObjectWithSite* pWithSite = nullptr;
    if (!pfnGetClassObject || FAILED(pfnGetClassObject(kClsidDeskband, IID_IClassFactory, reinterpret_cast<void**>(&pFactory))))
        return 1;
    if (FAILED(pFactory->CreateInstance(nullptr, IID_IObjectWithSite, reinterpret_cast<void**>(&pWithSite))) ||
        FAILED(pWithSite->SetSite(static_cast<IOleWindow*>(&site))))
        return 1;
    SendMessageA(UtilityWindow(), WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwndHost));
    const double dBand = Now() - dStart;

    pWithSite->SetSite(nullptr);
    pWithSite->Release();
    pFactory->Release();
    printf("%.1f %.1f\n", dEmpty * 1e6, dBand * 1e6);
    return 0;
}

// Runs one cold start in a new process and reads its two figures from its output.
bool ColdStartOnce(HWND hwndHost, double* pusEmpty, double* pusBand)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0))
        return false;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    std::string strCommand = "\"" + ThisProgram() + "\" cold " + std::to_string(reinterpret_cast<ULONG_PTR>(hwndHost));
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    const bool fStarted = CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                         nullptr, &si, &pi);
    CloseHandle(hWrite);
    std::string strOutput;
    char achBuffer[256];
    DWORD cbRead = 0;
    while (fStarted && ReadFile(hRead, achBuffer, sizeof(achBuffer), &cbRead, nullptr) && cbRead)
        strOutput.append(achBuffer, cbRead);
    CloseHandle(hRead);
    if (!fStarted)
        return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD dwExitCode = 1;
    GetExitCodeProcess(pi.hProcess, &dwExitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return dwExitCode == 0 && sscanf(strOutput.c_str(), "%lf %lf", pusEmpty, pusBand) == 2;
}

bool MeasureColdStart(CBenchHost& host)
{
    std::vector<double> empty, band, difference;
    for (int i = 0; i < kcColdStarts; ++i) {
        double usEmpty = 0, usBand = 0;
        if (!ColdStartOnce(host.m_hwnd, &usEmpty, &usBand)) {
            fprintf(stderr, "snapshot bench: a cold start failed\n");
            return false;
        }
        empty.push_back(usEmpty / 1e3);
        band.push_back(usBand / 1e3);
        difference.push_back((usBand - usEmpty) / 1e3);
    }
    PrintRow("Cold start", "LoadLibrary to the host's first snapshot", Median(band), "ms");
    PrintRow("Cold start", "LoadLibrary of an empty DLL", Median(empty), "ms");
    PrintRow("Cold start", "difference", Median(difference), "ms");
    return true;
}
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "host") == 0)
        return RunHost(argv[2]);
    if (argc == 3 && strcmp(argv[1], "cold") == 0)
        return RunColdStart(reinterpret_cast<HWND>(strtoul(argv[2], nullptr, 10)));

    CBenchHost host;
    if (!host.m_hwnd) {
        fprintf(stderr, "snapshot bench: the host process did not start\n");
        return 1;
    }
    const SIZE aSizes[] = {{100, 30}, {800, 48}, {1920, 64}};
    bool fOk = true;
    for (const SIZE& size : aSizes)
        fOk = MeasureSnapshotPath(host, size.cx, size.cy) && fOk;
    fOk = MeasureColdStart(host) && fOk;
    return fOk ? 0 : 1;
}
