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

// The shell's side of a band: a taskbar container window that paints the pattern for the band's
// background, from pixels prepared once as a taskbar draws from a cached image, and the site
// that hands it out through IOleWindow, with IInputObjectSite; one of the two can be withheld.
// The site lives on the stack, so its count only tells what the band holds. It also serves as
// the outer object that aggregates a band.
class CTestSite : public IOleWindow, public IInputObjectSite
{
public:
    explicit CTestSite(int cx = kcxTaskbar, int cy = kcyTaskbar, REFIID riidWithheld = IID_NULL)
        : m_cx(cx), m_cy(cy), m_iidWithheld(riidWithheld)
    {
        for (int i = 0; i < cx * cy; ++i)
            m_pixels.push_back(PatternAt(i % cx, i / cx));
        m_hwndTaskbar = m_hwnd = CreateHiddenWindow("DeskbandTestTaskbar", TaskbarProc, cx, cy);
        SetWindowLongPtrA(m_hwndTaskbar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CTestSite() { DestroyWindow(m_hwndTaskbar); }
    CTestSite(const CTestSite&) = delete;
    CTestSite& operator=(const CTestSite&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid == m_iidWithheld)
            return E_NOINTERFACE;
        if (riid == IID_IUnknown || riid == IID_IOleWindow)
            *ppv = static_cast<IOleWindow*>(this);
        else if (riid == IID_IInputObjectSite)
            *ppv = static_cast<IInputObjectSite*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG cRef = --m_cRef;
        if (m_fnOnRelease)
            m_fnOnRelease();
        return cRef;
    }
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        *phwnd = m_hwnd;
        return m_hrGetWindow;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }
    IUnknown* Unknown() { return static_cast<IOleWindow*>(this); }

    static const int kcxTaskbar = 200;
    static const int kcyTaskbar = 40;
    ULONG m_cRef = 0;
    // What GetWindow answers (the taskbar unless a test says otherwise), its result, and what
    // runs after each Release.
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
        const BITMAPINFO bmi = TopDownDib(pThis->m_cx, pThis->m_cy);
        SetDIBitsToDevice(reinterpret_cast<HDC>(wParam), 0, 0, pThis->m_cx, pThis->m_cy, 0, 0, 0, pThis->m_cy,
                          pThis->m_pixels.data(), &bmi, DIB_RGB_COLORS);
        return 1;
    }

    int m_cx;
    int m_cy;
    IID m_iidWithheld;
    std::vector<DWORD> m_pixels;
};
