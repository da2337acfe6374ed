#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <functional>
#include <vector>

#include "TestHostCommands.h"
#include "TopDownDib.h"

// Every pixel of the test taskbar's background differs from its neighbours (up to 256 pixels
// apart), so a snapshot taken at the wrong offset shows. As a 32-bit DIB pixel.
inline DWORD PatternAt(int x, int y)
{
    return (x & 0xFF) << 16 | (y * 4 & 0xFF) << 8 | 0x5A;
}

// The shell's side of a band: a taskbar window that paints the pattern behind the band, from
// pixels prepared once as a taskbar draws from a cached image, and the site that hands it out
// through IOleWindow, with IInputObjectSite; one of the two can be withheld. The site lives on
// the stack, so its count only tells what the band holds. It also serves as the outer object
// that aggregates a band.
class CTestSite : public IOleWindow, public IInputObjectSite
{
public:
    static const int kcxTaskbar = 200, kcyTaskbar = 40;

    explicit CTestSite(int cx = kcxTaskbar, int cy = kcyTaskbar, REFIID riidWithheld = IID_NULL)
        : m_bmi(TopDownDib(cx, cy)), m_iidWithheld(riidWithheld)
    {
        for (int i = 0; i < cx * cy; ++i)
            m_pixels.push_back(PatternAt(i % cx, i / cx));
        m_hwnd = m_hwndTaskbar = CreateHiddenWindow("DeskbandTestTaskbar", TaskbarProc, cx, cy);
        SetWindowLongPtrA(m_hwndTaskbar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CTestSite() { DestroyWindow(m_hwndTaskbar); }
    CTestSite(const CTestSite&) = delete;
    CTestSite& operator=(const CTestSite&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid != m_iidWithheld && (riid == IID_IUnknown || riid == IID_IOleWindow))
            *ppv = static_cast<IOleWindow*>(this);
        else if (riid != m_iidWithheld && riid == IID_IInputObjectSite)
            *ppv = static_cast<IInputObjectSite*>(this);
        return *ppv ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        --m_cRef;
        if (m_fnOnRelease)
            m_fnOnRelease();
        return m_cRef;
    }
    STDMETHODIMP GetWindow(HWND* phwnd) override { return *phwnd = m_hwnd, m_hrGetWindow; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }
    IUnknown* Unknown() { return static_cast<IOleWindow*>(this); }

    ULONG m_cRef = 0;
    // What GetWindow answers (the taskbar unless a test says otherwise) and its result, and
    // what runs after each Release.
    HWND m_hwnd;
    HRESULT m_hrGetWindow = S_OK;
    std::function<void()> m_fnOnRelease;
    HWND m_hwndTaskbar;

private:
    static LRESULT CALLBACK TaskbarProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        const auto pThis = reinterpret_cast<const CTestSite*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!pThis || (uMsg != WM_ERASEBKGND && uMsg != WM_PRINTCLIENT))
            return DefWindowProcA(hwnd, uMsg, wParam, lParam);
        const int cx = pThis->m_bmi.bmiHeader.biWidth, cy = -pThis->m_bmi.bmiHeader.biHeight;
        return SetDIBitsToDevice(reinterpret_cast<HDC>(wParam), 0, 0, cx, cy, 0, 0, 0, cy, pThis->m_pixels.data(),
                                 &pThis->m_bmi, DIB_RGB_COLORS) != 0;
    }

    const BITMAPINFO m_bmi;
    const IID m_iidWithheld;
    std::vector<DWORD> m_pixels;
};
