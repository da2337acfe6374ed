#include "VeltrixLibrary.h"

namespace
{
// The taskbar's side of siting: a container window and the input-object site.
class CFakeSite : public IOleWindow, public IInputObjectSite
{
public:
    explicit CFakeSite(HWND hwnd) : m_hwnd(hwnd) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow))
            *ppv = static_cast<IOleWindow*>(this);
        else if (IsEqualIID(riid, IID_IInputObjectSite))
            *ppv = static_cast<IInputObjectSite*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        *phwnd = m_hwnd;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }

    ULONG m_cRef = 1;

private:
    HWND m_hwnd;
};

// This process's utility window only: test programs run side by side, each with bands of its
// own.
HWND FindUtilityWindow()
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
}

TEST_F(VeltrixTest, ShellSitesShowsClosesAndReleasesTheBandThenTheLibraryMayUnload)
{
    HWND hwndParent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 40, nullptr, nullptr,
                                      nullptr, nullptr);
    ASSERT_NE(hwndParent, nullptr);
    CFakeSite site(hwndParent);
    IClassFactory* pFactory = GetFactory();
    IDeskBand* pBand = nullptr;
    ASSERT_EQ(pFactory->CreateInstance(nullptr, IID_IDeskBand, reinterpret_cast<void**>(&pBand)), S_OK);
    pFactory->Release();
    IObjectWithSite* pWithSite = nullptr;
    ASSERT_EQ(pBand->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&pWithSite)), S_OK);

    ASSERT_EQ(pWithSite->SetSite(static_cast<IOleWindow*>(&site)), S_OK);
    EXPECT_EQ(site.m_cRef, 2u);
    HWND hwndBand = nullptr;
    EXPECT_EQ(pBand->GetWindow(&hwndBand), S_OK);
    EXPECT_TRUE(IsWindow(hwndBand));
    EXPECT_EQ(GetParent(hwndBand), hwndParent);
    EXPECT_NE(FindUtilityWindow(), nullptr);

    DESKBANDINFO dbi = {};
    dbi.dwMask = DBIM_MINSIZE | DBIM_BKCOLOR | DBIM_MODEFLAGS;
    dbi.crBkgnd = RGB(1, 2, 3);
    EXPECT_EQ(pBand->GetBandInfo(1, DBIF_VIEWMODE_NORMAL, &dbi), S_OK);
    EXPECT_EQ(dbi.ptMinSize.x, 32);
    EXPECT_EQ(dbi.ptMinSize.y, 16);
    EXPECT_EQ(dbi.dwMask, static_cast<DWORD>(DBIM_MINSIZE | DBIM_MODEFLAGS));

    EXPECT_EQ(pBand->ShowDW(TRUE), S_OK);
    EXPECT_NE(GetWindowLongA(hwndBand, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(pBand->CloseDW(0), S_OK);
    EXPECT_FALSE(IsWindow(hwndBand));
    EXPECT_EQ(FindUtilityWindow(), nullptr);

    EXPECT_EQ(pWithSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(site.m_cRef, 1u);
    pWithSite->Release();
    EXPECT_EQ(pBand->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_OK);
    DestroyWindow(hwndParent);
}
