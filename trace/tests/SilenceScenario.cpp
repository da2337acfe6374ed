// Drives a delivered library the way its callers do, so that a test can capture this
// process's standard output and error and show that the library wrote nothing:
//   trace_silence_scenario veltrix|quillon
// Exit codes: 0 scenario ran, 2 library not present, 3 and above a step failed. The program
// itself writes nothing.
#include <windows.h>
#include <shobjidl.h>

#include <cstring>

namespace
{
enum eScenarioResult { eRan = 0, eAbsent = 2, eNoExport = 3, eNoObject = 4, eBadArgument = 5 };

const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};
const UINT kuMsgHostRegister = 9928;

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_COPYDATA)
        return TRUE;
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

// A hidden top-level window standing in for the taskbar container and for the host's window.
HWND CreateHiddenWindow(const char* pszTitle)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TraceSilenceWindow";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, pszTitle, WS_OVERLAPPEDWINDOW, 0, 0, 400, 40,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

// The shell's side of siting: a site that yields the container window.
class CSite : public IOleWindow, public IInputObjectSite
{
public:
    explicit CSite(HWND hwnd) : m_hwnd(hwnd) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleWindow)
            *ppv = static_cast<IOleWindow*>(this);
        else if (riid == IID_IInputObjectSite)
            *ppv = static_cast<IInputObjectSite*>(this);
        else
            return E_NOINTERFACE;
        return S_OK;
    }
    // Lives on the scenario's stack, beyond every reference the band takes.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        *phwnd = m_hwnd;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }

private:
    HWND m_hwnd;
};

// The band's utility window in this process: test programs run side by side, and another
// one's band must not be driven from here.
HWND UtilityWindowOfThisProcess()
{
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExA(nullptr, hwnd, "VeltrixUtilityWindowClass", "VeltrixUtilityWindow")) != nullptr) {
        DWORD dwProcessId = 0;
        GetWindowThreadProcessId(hwnd, &dwProcessId);
        if (dwProcessId == GetCurrentProcessId())
            return hwnd;
    }
    return nullptr;
}

// Site a band, answer the host protocol, resize, re-theme and close it: every path of the
// band that traces.
void DriveBand(IDeskBand* pBand, HWND hwndContainer, HWND hwndHost)
{
    CSite site(hwndContainer);
    IObjectWithSite* pWithSite = nullptr;
    if (SUCCEEDED(pBand->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&pWithSite))))
        pWithSite->SetSite(static_cast<IOleWindow*>(&site));
    DESKBANDINFO dbi = {};
    dbi.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE | DBIM_MODEFLAGS | DBIM_BKCOLOR;
    pBand->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &dbi);
    pBand->ShowDW(TRUE);

    HWND hwndBand = nullptr;
    pBand->GetWindow(&hwndBand);
    HWND hwndUtility = UtilityWindowOfThisProcess();
    if (hwndBand) {
        SetWindowPos(hwndBand, nullptr, 0, 0, 120, 30, SWP_NOZORDER);
        SendMessageA(hwndBand, WM_ERASEBKGND, 0, 0);
    }
    if (hwndUtility) {
        for (UINT uMsg = 9925; uMsg <= 9927; ++uMsg)
            SendMessageA(hwndUtility, uMsg, 0, 0);
        SendMessageA(hwndUtility, kuMsgHostRegister, 0, reinterpret_cast<LPARAM>(hwndHost));
        SendMessageA(hwndUtility, WM_THEMECHANGED, 0, 0);
        SendMessageA(hwndUtility, WM_SYSCOLORCHANGE, 0, 0);
    }
    if (hwndBand)
        SetWindowPos(hwndBand, nullptr, 0, 0, 160, 30, SWP_NOZORDER);
    PumpMessages();

    pBand->ShowDW(FALSE);
    pBand->CloseDW(0);
    if (pWithSite) {
        pWithSite->SetSite(nullptr);
        pWithSite->Release();
    }
}

int RunVeltrix()
{
    HMODULE hLibrary = LoadLibraryA("Veltrix.dll");
    if (!hLibrary)
        return eAbsent;
    typedef HRESULT(WINAPI * PFN_GETCLASSOBJECT)(REFCLSID, REFIID, void**);
    PFN_GETCLASSOBJECT pfnGetClassObject = reinterpret_cast<PFN_GETCLASSOBJECT>(GetProcAddress(hLibrary, "DllGetClassObject"));
    int nResult = eNoExport;
    if (pfnGetClassObject) {
        nResult = eNoObject;
        IClassFactory* pFactory = nullptr;
        IDeskBand* pBand = nullptr;
        if (SUCCEEDED(pfnGetClassObject(kClsidDeskband, IID_IClassFactory, reinterpret_cast<void**>(&pFactory))) &&
            SUCCEEDED(pFactory->CreateInstance(nullptr, IID_IDeskBand, reinterpret_cast<void**>(&pBand)))) {
            HWND hwndContainer = CreateHiddenWindow("container");
            HWND hwndHost = CreateHiddenWindow("host");
            DriveBand(pBand, hwndContainer, hwndHost);
            pBand->Release();
            DestroyWindow(hwndHost);
            DestroyWindow(hwndContainer);
            nResult = eRan;
        }
        if (pFactory)
            pFactory->Release();
    }
    FreeLibrary(hLibrary);
    return nResult;
}

// Quillon exports a C++ class. Its members are reached by their exported names; a member
// takes its object in ECX with the other arguments on the stack and popped by the callee,
// which is what a fastcall function with an unused second (EDX) argument does too.
struct QuillonExports
{
    void(__fastcall* pfnConstruct)(void* pThis, void*);
    void(__fastcall* pfnDestroy)(void* pThis, void*);
    bool(__fastcall* pfnInitialize)(void* pThis, void*, int eFind, const char* pszName);
    bool(__fastcall* pfnGetVolume)(void* pThis, void*, float* pfLevel, bool fScalar);
    void(__fastcall* pfnTest)(void* pThis, void*, int nMode);
};

template <typename T>
bool FindExport(HMODULE hLibrary, T& pfn, const char* pszName, const char* pszOtherName = nullptr)
{
    FARPROC p = GetProcAddress(hLibrary, pszName);
    if (!p && pszOtherName)
        p = GetProcAddress(hLibrary, pszOtherName);
    pfn = reinterpret_cast<T>(p);
    return p != nullptr;
}

bool FindQuillonExports(HMODULE hLibrary, QuillonExports& exports)
{
#if defined(_MSC_VER)
    return FindExport(hLibrary, exports.pfnConstruct, "??0CQuillon@@QAE@XZ") &&
           FindExport(hLibrary, exports.pfnDestroy, "??1CQuillon@@UAE@XZ") &&
           FindExport(hLibrary, exports.pfnInitialize, "?Initialize@CQuillon@@QAE_NW4eFindDevice@@PBD@Z") &&
           FindExport(hLibrary, exports.pfnGetVolume, "?GetVolume@CQuillon@@QAE_NPAM_N@Z") &&
           FindExport(hLibrary, exports.pfnTest, "?Test@CQuillon@@QAEXH@Z");
#else
    return FindExport(hLibrary, exports.pfnConstruct, "_ZN8CQuillonC1Ev") &&
           FindExport(hLibrary, exports.pfnDestroy, "_ZN8CQuillonD1Ev") &&
           FindExport(hLibrary, exports.pfnInitialize, "_ZN8CQuillon10InitializeE11eFindDevicePKc",
                      "_ZN8CQuillon10InitializeENS_11eFindDeviceEPKc") &&
           FindExport(hLibrary, exports.pfnGetVolume, "_ZN8CQuillon9GetVolumeEPfb") &&
           FindExport(hLibrary, exports.pfnTest, "_ZN8CQuillon4TestEi");
#endif
}

// Open the default endpoint, read the level, and step and query it with Test, whose
// messages and failure messages go through the trace call.
void DriveQuillon(const QuillonExports& exports)
{
    alignas(8) unsigned char abObject[64] = {};
    exports.pfnConstruct(abObject, nullptr);
    if (exports.pfnInitialize(abObject, nullptr, 0, nullptr)) {
        float fLevel = 0;
        exports.pfnGetVolume(abObject, nullptr, &fLevel, true);
        for (int nMode = 0; nMode <= 4; ++nMode)
            exports.pfnTest(abObject, nullptr, nMode);
    }
    exports.pfnDestroy(abObject, nullptr);
}

int RunQuillon()
{
    HMODULE hLibrary = LoadLibraryA("Quillon.dll");
    if (!hLibrary)
        return eAbsent;
    QuillonExports exports;
    int nResult = eNoExport;
    if (FindQuillonExports(hLibrary, exports)) {
        DriveQuillon(exports);
        nResult = eRan;
    }
    FreeLibrary(hLibrary);
    return nResult;
}
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return eBadArgument;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int nResult = eBadArgument;
    if (strcmp(argv[1], "veltrix") == 0)
        nResult = RunVeltrix();
    else if (strcmp(argv[1], "quillon") == 0)
        nResult = RunQuillon();
    CoUninitialize();
    return nResult;
}
