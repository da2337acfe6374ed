#include "CTaskbarImage.h"

#include <stdio.h>

#include <algorithm>

#include "CScopedDC.h"
#include "CScopedGdiObject.h"
#include "CScopedMemoryDC.h"
#include "CScopedSelection.h"
#include "TopDownDib.h"
#include "PngEncoder.h"

template <class Draw> CTaskbarImage CTaskbarImage::Render(int cx, int cy, Draw draw)
{
    CTaskbarImage image;
    const BITMAPINFO bmi = TopDownDib(cx, cy);
    void* pvBits = nullptr;
    CScopedMemoryDC dc(nullptr);
    CScopedGdiObject<HBITMAP> bitmap(dc.Get() ? CreateDIBSection(dc.Get(), &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0)
                                              : nullptr);
    if (!bitmap.Get() || !pvBits)
        return image;
    CScopedSelection selection(dc.Get(), bitmap.Get());
    draw(dc.Get());
    // GDI may batch the drawing: the bits are read only after it has been flushed.
    GdiFlush();
    const uint32_t* pPixels = static_cast<const uint32_t*>(pvBits);
    image.m_nWidth = cx;
    image.m_nHeight = cy;
    image.m_pixels.assign(pPixels, pPixels + static_cast<size_t>(cx) * cy);
    return image;
}

// CAPTUREBLT: layered windows (the host's) are part of the image.
CTaskbarImage CTaskbarImage::FromScreen(const RECT& rcScreen)
{
    const int cx = rcScreen.right - rcScreen.left;
    const int cy = rcScreen.bottom - rcScreen.top;
    return Render(cx, cy, [&](HDC hdc) {
        CScopedDC screen(nullptr);
        BitBlt(hdc, 0, 0, cx, cy, screen.Get(), rcScreen.left, rcScreen.top, SRCCOPY | CAPTUREBLT);
    });
}

// WM_PRINTCLIENT, as the band's rendering asks for the background.
CTaskbarImage CTaskbarImage::FromPaint(HWND hwnd, int cx, int cy)
{
    return Render(cx, cy,
                  [&](HDC hdc) { SendMessageA(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), PRF_CLIENT); });
}

RECT CTaskbarImage::DifferenceFrom(const CTaskbarImage& other) const
{
    if (other.m_pixels.size() != m_pixels.size())
        return RECT{0, 0, m_nWidth, m_nHeight};
    RECT rc = {m_nWidth, m_nHeight, 0, 0};
    for (int y = 0; y < m_nHeight; ++y) {
        for (int x = 0; x < m_nWidth; ++x) {
            const size_t i = static_cast<size_t>(y) * m_nWidth + x;
            // The fourth byte carries nothing.
            if (((m_pixels[i] ^ other.m_pixels[i]) & 0x00FFFFFF) == 0)
                continue;
            rc.left = std::min<LONG>(rc.left, x);
            rc.top = std::min<LONG>(rc.top, y);
            rc.right = std::max<LONG>(rc.right, x + 1);
            rc.bottom = std::max<LONG>(rc.bottom, y + 1);
        }
    }
    return rc.right == 0 ? RECT{} : rc;
}

bool CTaskbarImage::SavePng(const std::string& strPath) const
{
    const std::vector<uint8_t> png =
        EncodePngFromBgrx(m_nWidth, m_nHeight, reinterpret_cast<const uint8_t*>(m_pixels.data()));
    FILE* pFile = png.empty() ? nullptr : fopen(strPath.c_str(), "wb");
    if (!pFile)
        return false;
    const bool bWritten = fwrite(png.data(), 1, png.size(), pFile) == png.size();
    return fclose(pFile) == 0 && bWritten;
}
