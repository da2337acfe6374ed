#pragma once

#include <windows.h>

// Off-screen surface: a top-down DIB section selected into a memory device context.
class CBitmapDC
{
public:
    CBitmapDC();
    ~CBitmapDC();

    void Create(int nWidth, int nHeight, int nBitsPerPixel);
    void Destroy();

    HDC GetHDC() const { return m_hDC; }
    void* GetBits() const { return m_pBits; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }

private:
    CBitmapDC(const CBitmapDC&) = delete;
    CBitmapDC& operator=(const CBitmapDC&) = delete;

    HDC m_hDC;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hOldBitmap;
    void* m_pBits;
    BOOL m_bCreated;
    int m_nWidth;
    int m_nHeight;
    BITMAPINFO m_bmi;
};
