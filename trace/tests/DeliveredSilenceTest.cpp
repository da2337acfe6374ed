// The delivered libraries, driven as their callers drive them, write nothing. Each scenario
// runs in a child process (this program again, with --scenario) whose standard output and
// standard error the test captures.
#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

#include <cstring>
#include <string>

#include "TestHostCommands.h"
#include "Quillon.h"

namespace
{
const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};

// The shell's side of siting: a site that yields the container window. It lives on the
// scenario's stack, beyond every reference the band takes.
struct CSite : IOleWindow, IInputObjectSite
{
    explicit CSite(HWND hwnd) : m_hwnd(hwnd) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleWindow)
            *ppv = static_cast<IOleWindow*>(this);
        else if (riid == IID_IInputObjectSite)
            *ppv = static_cast<IInputObjectSite*>(this);
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetWindow(HWND* phwnd) override { return *phwnd = m_hwnd, S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }

    HWND m_hwnd;
};

// Make a band through the library's class object, site it in a hidden container, resize it
// without and with a host window registered, repaint, re-theme and close it: every path of
// the band that traces.
bool RunDeskBand()
{
    typedef HRESULT(WINAPI * PFN_GETCLASSOBJECT)(REFCLSID, REFIID, void**);
    HMODULE hLibrary = LoadLibraryA("Veltrix.dll");
    auto pfnGetClassObject =
        reinterpret_cast<PFN_GETCLASSOBJECT>(hLibrary ? GetProcAddress(hLibrary, "DllGetClassObject") : nullptr);
    HWND hwndContainer = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 40, nullptr, nullptr, nullptr, nullptr);
    HWND hwndHost = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    CSite site(hwndContainer);
    IClassFactory* pFactory = nullptr;
    IDeskBand* pBand = nullptr;
    IObjectWithSite* pWithSite = nullptr;
    HWND hwndBand = nullptr, hwndUtility = nullptr;
    if (pfnGetClassObject && SUCCEEDED(pfnGetClassObject(kClsidDeskband, IID_PPV_ARGS(&pFactory))) &&
        SUCCEEDED(pFactory->CreateInstance(nullptr, IID_PPV_ARGS(&pBand))) &&
        SUCCEEDED(pBand->QueryInterface(IID_PPV_ARGS(&pWithSite))) &&
        SUCCEEDED(pWithSite->SetSite(static_cast<IOleWindow*>(&site))) && SUCCEEDED(pBand->GetWindow(&hwndBand)) &&
        (hwndUtility = FindUtilityWindowOf(GetCurrentProcessId())) != nullptr) {
        SetWindowPos(hwndBand, nullptr, 0, 0, 120, 30, SWP_NOZORDER);
        SendMessageA(hwndUtility, WM_DESKBAND_SETHOSTWINDOW, 0, reinterpret_cast<LPARAM>(hwndHost));
        SetWindowPos(hwndBand, nullptr, 0, 0, 160, 30, SWP_NOZORDER);
        SendMessageA(hwndBand, WM_ERASEBKGND, 0, 0);
        SendMessageA(hwndUtility, WM_THEMECHANGED, 0, 0);
        SendMessageA(hwndUtility, WM_SYSCOLORCHANGE, 0, 0);
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&msg);
        pBand->CloseDW(0);
        pWithSite->SetSite(nullptr);
    }
    for (IUnknown* pUnknown :
         {static_cast<IUnknown*>(pWithSite), static_cast<IUnknown*>(pBand), static_cast<IUnknown*>(pFactory)})
        if (pUnknown)
            pUnknown->Release();
    DestroyWindow(hwndHost);
    DestroyWindow(hwndContainer);
    if (hLibrary)
        FreeLibrary(hLibrary);
    return hwndUtility != nullptr;
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

// Runs this program's scenario for one library with standard output and error going to one
// file; returns what the child wrote there.
std::string RunScenario(const char* pszLibrary, DWORD& dwExitCode)
{
    char szExe[MAX_PATH], szDir[MAX_PATH], szFile[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    GetTempPathA(MAX_PATH, szDir);
    GetTempFileNameA(szDir, "trs", 0, szFile);
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE hOutput = CreateFileA(szFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                 CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = hOutput;
    std::string strCommand = "\"" + std::string(szExe) + "\" --scenario " + pszLibrary;
    PROCESS_INFORMATION pi = {};
    dwExitCode = ~0u;
    if (CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &dwExitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    std::string strOutput(GetFileSize(hOutput, nullptr), '\0');
    DWORD cbRead = 0;
    SetFilePointer(hOutput, 0, nullptr, FILE_BEGIN); // the child moved the shared file position
    ReadFile(hOutput, &strOutput[0], static_cast<DWORD>(strOutput.size()), &cbRead, nullptr);
    CloseHandle(hOutput);
    return strOutput;
}

TEST(DeliveredLibraries, DeskBandAndQuillonScenariosWriteNothing)
{
    for (const char* pszLibrary : {"deskband", "quillon"}) {
        DWORD dwExitCode;
        EXPECT_EQ(RunScenario(pszLibrary, dwExitCode), "") << pszLibrary;
        EXPECT_EQ(dwExitCode, 0u) << "the " << pszLibrary << " scenario did not run through";
    }
}
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--scenario") == 0) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        bool fRan = strcmp(argv[2], "quillon") == 0 ? RunQuillon() : RunDeskBand();
        CoUninitialize();
        return fRan ? 0 : 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
