// Measures the snapshot path as the host sees it and the band's cold start, and prints
// bench-table rows (format in scripts/bench-table).
//
// For each band size the host, a second process (this program started with "host"), times
// its SendMessage of 9928, during which the band renders and sends one snapshot, against a
// baseline made of only the platform's work for the same size: DrawThemeParentBackground
// into a new 32-bit DIB section, and one WM_COPYDATA of the same byte count to the host. The
// two are measured back to back in many turns, and the ratio is the median of the turns'
// ratios, so that the load of a shared machine, which changes from turn to turn, cancels.
// Then the band is resized repeatedly and the time from the resize to the host's receipt of
// the new snapshot is taken.
//
// Cold start runs in fresh processes (this program started with "cold"): LoadLibrary,
// DllGetClassObject, CreateInstance, SetSite and the first snapshot, against LoadLibrary of
// an empty DLL, both the first load in their process.
#include <windows.h>
#include <uxtheme.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../tests/CChildProcess.h"
#include "../tests/CSitedBand.h"

namespace
{
const char kProgram[] = "snapshot_bench.exe";
// To the host: time the two paths (wParam the utility window, lParam the baseline window);
// answer a figure (wParam one of eResult); keep a figure (wParam one of eResult, lParam it).
const UINT WM_HOST_MEASURE = WM_APP + 1;
const UINT WM_HOST_RESULT = WM_APP + 2;
const UINT WM_HOST_KEEP = WM_APP + 3;
// To the baseline window: do the platform's work and send the block to the host in lParam.
const UINT WM_BASELINE_SNAPSHOT = WM_APP + 4;

enum eResult
{
    eRatioPpm,
    eBandNs,
    eBaselineNs,
    eValidBlocks,
    eInvalidBlocks,
    eColdEmptyUs,
    eColdBandUs,
    ecResults
};

const int kcWarmUpTurns = 3, kcTurns = 101, kcResizes = 41, kcColdStarts = 9;

template <typename F> double Seconds(F fn)
{
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceCounter(&start);
    fn();
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrintRow(const char* pszGroup, const std::string& strItem, double dValue, const char* pszUnit,
              const char* pszGoal = "")
{
    printf("row\t%s\t%s\t%.3f\t%s\t%s\n", pszGroup, strItem.c_str(), dValue, pszUnit, pszGoal);
}

bool Fail(const std::string& strWhat)
{
    fprintf(stderr, "snapshot bench: %s\n", strWhat.c_str());
    return false;
}

// ---- The host process, which keeps its figures until the measuring process asks for them

LRESULT g_alResults[ecResults];

void Measure(HWND hwndHost, HWND hwndUtility, HWND hwndBaseline)
{
    // The band's path and the baseline; each goes first in every other turn.
    const HWND ahwnd[2] = {hwndUtility, hwndBaseline};
    const UINT auMsg[2] = {WM_DESKBAND_SETHOSTWINDOW, WM_BASELINE_SNAPSHOT};
    std::vector<double> aTimes[2], ratios;
    for (int iTurn = 0; iTurn < kcWarmUpTurns + kcTurns; ++iTurn) {
        double adSeconds[2];
        for (int i : {1 - iTurn % 2, iTurn % 2})
            adSeconds[i] = Seconds([&] { SendMessageA(ahwnd[i], auMsg[i], 0, reinterpret_cast<LPARAM>(hwndHost)); });
        if (iTurn < kcWarmUpTurns)
            continue;
        for (int i : {0, 1})
            aTimes[i].push_back(adSeconds[i]);
        ratios.push_back(adSeconds[0] / adSeconds[1]);
    }
    g_alResults[eRatioPpm] = static_cast<LRESULT>(Median(ratios) * 1e6);
    g_alResults[eBandNs] = static_cast<LRESULT>(Median(aTimes[0]) * 1e9);
    g_alResults[eBaselineNs] = static_cast<LRESULT>(Median(aTimes[1]) * 1e9);
}

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    const auto pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    switch (uMsg) {
    case WM_COPYDATA: // what a host must check before it reads the pixels
        ++g_alResults[DeskbandSnapshotIsValid(pcds->dwData, pcds->lpData, pcds->cbData, nullptr) ? eValidBlocks
                                                                                                 : eInvalidBlocks];
        return TRUE;
    case WM_HOST_MEASURE:
        Measure(hwnd, reinterpret_cast<HWND>(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_HOST_RESULT:
        return g_alResults[wParam];
    case WM_HOST_KEEP:
        return g_alResults[wParam] = lParam;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

// Its window's class is the name the measuring process looks for.
int RunHost(const char* pszName)
{
    CreateHiddenWindow(pszName, HostWndProc, 10, 10);
    RunMessageLoop();
    return 0;
}

LRESULT HostResult(HWND hwndHost, eResult result)
{
    return SendMessageA(hwndHost, WM_HOST_RESULT, result, 0);
}

// ---- The platform's work alone, for the baseline: the background of this band window, in a
// block of the snapshot's size

HWND g_hwndBaselineBand;
std::vector<BYTE> g_baselineBlock;

LRESULT CALLBACK BaselineWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg != WM_BASELINE_SNAPSHOT)
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    RECT rc = {};
    GetClientRect(g_hwndBaselineBand, &rc);
    const BITMAPINFO bmi = TopDownDib(rc.right, rc.bottom);
    const HDC hdc = CreateCompatibleDC(nullptr);
    void* pvBits = nullptr;
    const HBITMAP hBitmap = CreateDIBSection(hdc, &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0);
    const HGDIOBJ hOld = SelectObject(hdc, hBitmap);
    DrawThemeParentBackground(g_hwndBaselineBand, hdc, &rc);
    COPYDATASTRUCT cds = {DESKBAND_SNAPSHOT_ID, static_cast<DWORD>(g_baselineBlock.size()), g_baselineBlock.data()};
    SendMessageA(reinterpret_cast<HWND>(lParam), WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd),
                 reinterpret_cast<LPARAM>(&cds));
    SelectObject(hdc, hOld);
    DeleteDC(hdc);
    DeleteObject(hBitmap);
    return TRUE;
}

bool MeasureSnapshotPath(HWND hwndHost, HWND hwndBaseline, int nWidth, int nHeight)
{
    const std::string strSize = std::to_string(nWidth) + "x" + std::to_string(nHeight);
    CSitedBand band(nWidth, nHeight);
    RECT rc = {};
    if (!band.IsSited() || !GetClientRect(band.m_hwndBand, &rc) || rc.right != nWidth || rc.bottom != nHeight)
        return Fail("no band of " + strSize);

    g_hwndBaselineBand = band.m_hwndBand;
    size_t cbBlock = 0;
    DeskbandSnapshotSize(nWidth, nHeight, &cbBlock);
    g_baselineBlock.assign(cbBlock, 0);
    const DWORD adwHeader[] = {DESKBAND_SNAPSHOT_HEADER_WORD, static_cast<DWORD>(nWidth), static_cast<DWORD>(nHeight)};
    memcpy(g_baselineBlock.data(), adwHeader, sizeof(adwHeader));
    SendMessageA(hwndHost, WM_HOST_MEASURE, reinterpret_cast<WPARAM>(band.m_hwndUtility),
                 reinterpret_cast<LPARAM>(hwndBaseline));

    // The host stays registered from the last turn; every resize brings it a snapshot.
    std::vector<double> resizes;
    const LRESULT cBefore = HostResult(hwndHost, eValidBlocks);
    for (int i = 0; i < kcResizes; ++i)
        resizes.push_back(Seconds([&] { band.ResizeBand(0, 0, nWidth - 1 + i % 2, nHeight, SWP_NOMOVE); }));
    if (HostResult(hwndHost, eValidBlocks) - cBefore != kcResizes || HostResult(hwndHost, eInvalidBlocks) != 0)
        return Fail("the host did not get one good snapshot per resize at " + strSize);

    PrintRow("Snapshot path", strSize + ": host's 9928 / platform baseline", HostResult(hwndHost, eRatioPpm) / 1e6, "x",
             "<= 1.05");
    PrintRow("Snapshot path", strSize + ": host's 9928 (render and snapshot)", HostResult(hwndHost, eBandNs) / 1e6,
             "ms");
    PrintRow("Snapshot path", strSize + ": platform baseline", HostResult(hwndHost, eBaselineNs) / 1e6, "ms");
    PrintRow("Snapshot path", strSize + ": resize to the host's receipt", Median(resizes) * 1e3, "ms");
    return true;
}

// ---- Cold start

// In a fresh process: tells the host the microseconds of LoadLibrary of the empty DLL, and of
// the band's whole start up to the host's receipt of the first snapshot.
int RunColdStart(HWND hwndHost)
{
    // What the shell has loaded long before it loads a band.
    for (const char* pszLibrary : {"ole32.dll", "oleaut32.dll", "uxtheme.dll"})
        LoadLibraryA(pszLibrary);
    CTestSite site(100, 30);

    HMODULE hEmpty = nullptr;
    const double dEmpty = Seconds([&] { hEmpty = LoadLibraryA("snapshot_bench_empty.dll"); });
    std::unique_ptr<CVeltrixLibrary> pLibrary;
    CComRef<IObjectWithSite> pWithSite;
    HRESULT hr = E_FAIL;
    const double dBand = Seconds([&] {
        pLibrary.reset(new CVeltrixLibrary);
        if (SUCCEEDED(hr = pLibrary->Create(IID_IObjectWithSite, pWithSite.Receive())))
            hr = pWithSite->SetSite(site.Unknown());
        SendMessageA(FindUtilityWindowOf(GetCurrentProcessId()), WM_DESKBAND_SETHOSTWINDOW, 0,
                     reinterpret_cast<LPARAM>(hwndHost));
    });
    pWithSite.Reset();
    if (!hEmpty || FAILED(hr))
        return 1;
    SendMessageA(hwndHost, WM_HOST_KEEP, eColdEmptyUs, static_cast<LPARAM>(dEmpty * 1e6));
    SendMessageA(hwndHost, WM_HOST_KEEP, eColdBandUs, static_cast<LPARAM>(dBand * 1e6));
    return 0;
}

bool MeasureColdStart(HWND hwndHost)
{
    std::vector<double> empty, band, difference;
    for (int i = 0; i < kcColdStarts; ++i) {
        if (CChildProcess(kProgram, "cold " + std::to_string(HandleToLong(hwndHost))).ExitCode(60000) != 0)
            return Fail("a cold start failed");
        empty.push_back(HostResult(hwndHost, eColdEmptyUs) / 1e3);
        band.push_back(HostResult(hwndHost, eColdBandUs) / 1e3);
        difference.push_back(band.back() - empty.back());
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
        return RunColdStart(static_cast<HWND>(LongToHandle(strtol(argv[2], nullptr, 10))));

    const std::string strHost = "SnapshotBenchHost-" + std::to_string(GetCurrentProcessId());
    CChildProcess hostProcess(kProgram, "host " + strHost);
    HWND hwndHost = nullptr;
    for (int i = 0; i < 200 && !(hwndHost = FindWindowA(strHost.c_str(), nullptr)); ++i)
        Sleep(100);
    if (!hwndHost) {
        Fail("the host process did not start");
        return 1;
    }
    const HWND hwndBaseline = CreateHiddenWindow("SnapshotBenchBaseline", BaselineWndProc, 0, 0);
    bool fOk = true;
    for (const SIZE& size : {SIZE{100, 30}, SIZE{800, 48}, SIZE{1920, 64}})
        fOk = MeasureSnapshotPath(hwndHost, hwndBaseline, size.cx, size.cy) && fOk;
    fOk = MeasureColdStart(hwndHost) && fOk;
    DestroyWindow(hwndBaseline);
    PostMessageA(hwndHost, WM_CLOSE, 0, 0);
    return fOk ? 0 : 1;
}
