#include "CBitmapDC.h"

#include <string.h>

CBitmapDC::CBitmapDC(DWORD cbBefore, DWORD cbAfter)
    : m_cbBefore(cbBefore), m_cbAfter(cbAfter), m_hSection(nullptr), m_pbBlock(nullptr), m_cbBlock(0),
      m_hBitmap(nullptr), m_hDC(nullptr), m_hOldBitmap(nullptr), m_pBits(nullptr), m_nWidth(0), m_nHeight(0)
{
}

CBitmapDC::~CBitmapDC()
{
    Destroy();
}

void CBitmapDC::Create(int nWidth, int nHeight)
{
    if (m_pbBlock && nWidth == m_nWidth && nHeight == m_nHeight) {
        if (m_pBits) {
            // GDI batches drawing calls: whatever it still owes this memory lands first.
            GdiFlush();
            memset(m_pBits, 0, m_cbBlock - m_cbBefore - m_cbAfter);
        }
        return;
    }
    Destroy();
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    if (nWidth < 0 || nHeight < 0)
        return;
    const ULONGLONG cbBlock = m_cbBefore + 4ull * static_cast<ULONG>(nWidth) * static_cast<ULONG>(nHeight) + m_cbAfter;
    if (cbBlock > MAXDWORD)
        return;
    // Memory of the paging file, so that the DIB section can be made over it at an offset and
    // the whole mapped once more as the block.
    m_hSection =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(cbBlock), nullptr);
    if (!m_hSection)
        return;
    m_pbBlock = static_cast<BYTE*>(MapViewOfFile(m_hSection, FILE_MAP_WRITE, 0, 0, 0));
    if (!m_pbBlock || (nWidth != 0 && nHeight != 0 && !CreatePixels())) {
        Destroy();
        return;
    }
    m_cbBlock = static_cast<DWORD>(cbBlock);
}

// The DIB section, then its device context: without either the surface has no pixels.
bool CBitmapDC::CreatePixels()
{
    BITMAPINFO bmi = {};
    BITMAPINFOHEADER& header = bmi.bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = m_nWidth;
    header.biHeight = -m_nHeight; // top-down rows
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = 4 * static_cast<DWORD>(m_nWidth) * static_cast<DWORD>(m_nHeight);
    // The offset of the pixels in the section is the frame in front of them (a multiple of 4,
    // as the offset must be).
    m_hBitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &m_pBits, m_hSection, m_cbBefore);
    if (!m_hBitmap)
        return false;
    m_hDC = CreateCompatibleDC(nullptr);
    if (!m_hDC)
        return false;
    m_hOldBitmap = SelectObject(m_hDC, m_hBitmap);
    return true;
}

// The DIB section goes before the section it lies in; the section handle stays open until then.
void CBitmapDC::Destroy()
{
    if (m_hDC) {
        SelectObject(m_hDC, m_hOldBitmap);
        DeleteDC(m_hDC);
    }
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
    if (m_pbBlock)
        UnmapViewOfFile(m_pbBlock);
    if (m_hSection)
        CloseHandle(m_hSection);
    m_hSection = nullptr;
    m_pbBlock = nullptr;
    m_cbBlock = 0;
    m_hBitmap = nullptr;
    m_hDC = nullptr;
    m_hOldBitmap = nullptr;
    m_pBits = nullptr;
}
