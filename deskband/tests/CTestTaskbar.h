#pragma once

#include <windows.h>

#include <vector>

#include "TestShell.h"

// Every pixel of the test taskbar's background differs from its neighbours (up to 256 pixels
// apart), so a snapshot taken at the wrong offset shows.
inline COLORREF PatternAt(int x, int y)
{
    return RGB(x, y * 4, 0x5A);
}
inline DWORD AsDibPixel(COLORREF cr)
{
    return GetRValue(cr) << 16 | GetGValue(cr) << 8 | GetBValue(cr);
}
// A 32-bit top-down DIB of the given size, the layout of a snapshot's pixels.
inline BITMAPINFO TopDownDib(int nWidth, int nHeight)
{
    return {{sizeof(BITMAPINFOHEADER), nWidth, -nHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
}

// Stands in for the taskbar's container and paints the pattern for the band's background,
// from pixels prepared once, as a taskbar draws its background from a cached image.
class CTestTaskbar
{
public:
    static const int kDefaultWidth = 200;
    static const int kDefaultHeight = 40;

    explicit CTestTaskbar(int nWidth = kDefaultWidth, int nHeight = kDefaultHeight)
        : m_nWidth(nWidth), m_nHeight(nHeight)
    {
        for (int y = 0; y < nHeight; ++y)
            for (int x = 0; x < nWidth; ++x)
                m_pixels.push_back(AsDibPixel(PatternAt(x, y)));
        m_hwnd = CreateHiddenWindow("DeskbandTestTaskbar", WndProc, nWidth, nHeight);
        SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CTestTaskbar() { DestroyWindow(m_hwnd); }
    CTestTaskbar(const CTestTaskbar&) = delete;
    CTestTaskbar& operator=(const CTestTaskbar&) = delete;

    HWND m_hwnd;

private:
    void Paint(HDC hdc) const
    {
        const BITMAPINFO bmi = TopDownDib(m_nWidth, m_nHeight);
        SetDIBitsToDevice(hdc, 0, 0, m_nWidth, m_nHeight, 0, 0, 0, m_nHeight, m_pixels.data(), &bmi, DIB_RGB_COLORS);
    }
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        const auto pThis = reinterpret_cast<const CTestTaskbar*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!pThis || (uMsg != WM_ERASEBKGND && uMsg != WM_PRINTCLIENT))
            return DefWindowProcA(hwnd, uMsg, wParam, lParam);
        pThis->Paint(reinterpret_cast<HDC>(wParam));
        return 1;
    }

    int m_nWidth;
    int m_nHeight;
    std::vector<DWORD> m_pixels;
};
