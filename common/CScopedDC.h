#pragma once

#include <windows.h>

// A window's device context from GetDC, released to its window when this goes.
class CScopedDC
{
public:
    explicit CScopedDC(HWND hwnd) : m_hwnd(hwnd), m_hdc(GetDC(hwnd)) {}
    ~CScopedDC()
    {
        if (m_hdc)
            ReleaseDC(m_hwnd, m_hdc);
    }
    CScopedDC(const CScopedDC&) = delete;
    CScopedDC& operator=(const CScopedDC&) = delete;

    HDC Get() const { return m_hdc; }

private:
    HWND m_hwnd;
    HDC m_hdc;
};
