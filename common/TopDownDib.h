#pragma once

#include <windows.h>

// The description of a 32-bit top-down DIB of the given size: rows of 4*W bytes from the top,
// each pixel blue, green, red and a fourth byte that BI_RGB ignores (it is not alpha). The
// layout of the band's snapshot pixels.
inline BITMAPINFO TopDownDib(int nWidth, int nHeight)
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = nWidth;
    bmi.bmiHeader.biHeight = -nHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    return bmi;
}
