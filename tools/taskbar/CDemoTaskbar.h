#pragma once

#include <windows.h>

#include <stdint.h>

#include <vector>

// A taskbar-like top-level window along the bottom of the screen. It paints a background
// with the detail of a real one (a shaded gradient, a start button, program buttons, a
// clock) whenever asked to erase or print its client area, which is how the band's
// rendering obtains what lies behind it.
class CDemoTaskbar
{
public:
    CDemoTaskbar();
    ~CDemoTaskbar();

    // Creates and shows the window; false when that fails.
    bool Create();
    HWND GetHwnd() const { return m_hwnd; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    // The colour the taskbar reports to its bands as their background.
    COLORREF GetBaseColour() const;

private:
    CDemoTaskbar(const CDemoTaskbar&) = delete;
    CDemoTaskbar& operator=(const CDemoTaskbar&) = delete;

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void MakeShading();
    void Paint(HDC hdc) const;
    void PaintButtons(HDC hdc) const;
    void PaintClock(HDC hdc) const;

    HWND m_hwnd;
    int m_nWidth;
    int m_nHeight;
    // The shaded background as 32-bit top-down pixels, made once.
    std::vector<uint32_t> m_shading;
};
