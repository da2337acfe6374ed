#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

// An image of the taskbar as 32-bit top-down pixels (blue, green, red, unused), to compare
// what the screen shows with what the taskbar paints by itself.
class CTaskbarImage
{
public:
    CTaskbarImage() : m_nWidth(0), m_nHeight(0) {}

    // What the screen shows in rcScreen, windows of other programs over it included.
    static CTaskbarImage FromScreen(const RECT& rcScreen);
    // What the window paints as its background into a device context of cx x cy pixels.
    static CTaskbarImage FromPaint(HWND hwnd, int cx, int cy);

    bool IsEmpty() const { return m_pixels.empty(); }
    // The smallest rectangle that holds every pixel whose colour differs from other's: empty
    // when none does, the whole image when the sizes differ.
    RECT DifferenceFrom(const CTaskbarImage& other) const;
    bool SavePng(const std::string& strPath) const;

private:
    template <class Draw> static CTaskbarImage Render(int cx, int cy, Draw draw);

    int m_nWidth;
    int m_nHeight;
    std::vector<uint32_t> m_pixels;
};
