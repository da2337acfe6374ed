#include "CBitmapDC.h"

CBitmapDC::CBitmapDC()
    : m_hDC(nullptr), m_hBitmap(nullptr), m_hOldBitmap(nullptr), m_pBits(nullptr), m_bCreated(FALSE), m_nWidth(0),
      m_nHeight(0), m_bmi()
{
}

CBitmapDC::~CBitmapDC()
{
    Destroy();
}

// Makes a fresh surface every time, also for an unchanged size. A zero side leaves the
// surface empty; a failed DIB section leaves GetBits() null while the size is kept, which
// is how readers tell that there are no pixels.
void CBitmapDC::Create(int nWidth, int nHeight, int nBitsPerPixel)
{
    Destroy();
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    m_hBitmap = nullptr;
    m_hDC = nullptr;
    m_pBits = nullptr;
    if (nWidth == 0 || nHeight == 0)
        return;

    BITMAPINFOHEADER& header = m_bmi.bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = nWidth;
    header.biHeight = -nHeight; // top-down rows
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(nBitsPerPixel);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(nBitsPerPixel / 8) * nWidth * nHeight;
    header.biXPelsPerMeter = 0;
    header.biYPelsPerMeter = 0;
    header.biClrUsed = 0;
    header.biClrImportant = 0;

    m_hDC = CreateCompatibleDC(nullptr);
    m_hBitmap = CreateDIBSection(m_hDC, &m_bmi, DIB_RGB_COLORS, &m_pBits, nullptr, 0);
    if (!m_hBitmap)
        m_pBits = nullptr;
    m_hOldBitmap = SelectObject(m_hDC, m_hBitmap);
    m_bCreated = TRUE;
}

void CBitmapDC::Destroy()
{
    if (!m_bCreated)
        return;
    m_bCreated = FALSE;
    SelectObject(m_hDC, m_hOldBitmap);
    DeleteDC(m_hDC);
    DeleteObject(m_hBitmap);
}
