#pragma once

#include <windows.h>

// Off-screen surface: a 32-bit top-down DIB section selected into a memory device context.
// Its pixels lie in a section of memory between a frame of cbBefore bytes in front of them and
// cbAfter bytes behind, so that pixels and frame can be handed on as one block without a copy.
class CBitmapDC
{
public:
    CBitmapDC(DWORD cbBefore, DWORD cbAfter);
    ~CBitmapDC();

    // Makes the surface for the given size, or keeps the current one when the size is the
    // same; either way every pixel starts at zero, as in a new DIB section, and the frame is
    // the caller's to fill. A zero side gives a block of the frame alone, without a device
    // context. When the memory, the DIB section or its device context cannot be made, the
    // surface has no block and no pixels (the size is kept): readers must not send it.
    void Create(int nWidth, int nHeight);
    void Destroy();

    HDC GetHDC() const { return m_hDC; }
    void* GetBits() const { return m_pBits; }
    BYTE* GetBlock() const { return m_pbBlock; }
    DWORD GetBlockSize() const { return m_cbBlock; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }

private:
    CBitmapDC(const CBitmapDC&) = delete;
    CBitmapDC& operator=(const CBitmapDC&) = delete;

    [[nodiscard]] bool CreatePixels();

    const DWORD m_cbBefore;
    const DWORD m_cbAfter;
    HANDLE m_hSection;
    BYTE* m_pbBlock;
    DWORD m_cbBlock;
    HBITMAP m_hBitmap;
    HDC m_hDC;
    HGDIOBJ m_hOldBitmap;
    void* m_pBits;
    int m_nWidth;
    int m_nHeight;
};
