#include "CSlotPainter.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "CScopedGdiObject.h"
#include "CScopedMemoryDC.h"
#include "CScopedSelection.h"
#include "TopDownDib.h"

namespace
{
// Below these sizes the slot shows the background alone.
const int kcxMinContent = 12;
const int kcyMinContent = 6;
const int kcxMinBar = 16;

COLORREF Mix(COLORREF crFrom, COLORREF crTo, int nPercentTo)
{
    const auto mix = [&](int nFrom, int nTo) { return (nFrom * (100 - nPercentTo) + nTo * nPercentTo) / 100; };
    return RGB(mix(GetRValue(crFrom), GetRValue(crTo)), mix(GetGValue(crFrom), GetGValue(crTo)),
               mix(GetBValue(crFrom), GetBValue(crTo)));
}

// 0 to 100; a level outside 0..1 (or not a number) from a faulty service is clamped.
int Percent(float fLevel)
{
    const float fClamped = fLevel >= 0.0f ? std::min(fLevel, 1.0f) : 0.0f;
    return static_cast<int>(lroundf(fClamped * 100.0f));
}

void Fill(HDC hdc, const RECT& rc, COLORREF cr)
{
    CScopedGdiObject<HBRUSH> brush(CreateSolidBrush(cr));
    FillRect(hdc, &rc, brush.Get());
}

// The user's message font at the given height in pixels.
HFONT CreateTextFont(int cyText)
{
    NONCLIENTMETRICSA ncm = {};
    ncm.cbSize = sizeof(ncm);
    LOGFONTA lf = {};
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0))
        lf = ncm.lfMessageFont;
    lf.lfHeight = -cyText;
    lf.lfWidth = 0;
    return CreateFontIndirectA(&lf);
}
}

CSlotPainter::CSlotPainter() : m_nWidth(0), m_nHeight(0), m_crText(0), m_crTrack(0) {}

void CSlotPainter::SetBackground(uint32_t nWidth, uint32_t nHeight, std::vector<uint8_t> pixels)
{
    m_nWidth = static_cast<int>(nWidth);
    m_nHeight = static_cast<int>(nHeight);
    m_pixels = std::move(pixels);
    uint64_t anSum[3] = {};
    for (size_t i = 0; i + 4 <= m_pixels.size(); i += 4) {
        for (int iChannel = 0; iChannel < 3; ++iChannel)
            anSum[iChannel] += m_pixels[i + iChannel];
    }
    const uint64_t cPixels = std::max<uint64_t>(1, m_pixels.size() / 4);
    const COLORREF crAverage = RGB(anSum[2] / cPixels, anSum[1] / cPixels, anSum[0] / cPixels);
    const int nLuma = (299 * GetRValue(crAverage) + 587 * GetGValue(crAverage) + 114 * GetBValue(crAverage)) / 1000;
    m_crText = nLuma < 128 ? RGB(240, 244, 250) : RGB(24, 24, 24);
    m_crTrack = Mix(crAverage, m_crText, 30);
}

void CSlotPainter::Paint(HDC hdc, const VOLUMESTATE& volume) const
{
    if (m_nWidth == 0 || m_nHeight == 0)
        return;
    // Composed off screen and copied in one go, so the slot never shows half a drawing.
    CScopedMemoryDC compose(hdc);
    CScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(hdc, m_nWidth, m_nHeight));
    if (!compose.Get() || !bitmap.Get())
        return;
    CScopedSelection selection(compose.Get(), bitmap.Get());
    const BITMAPINFO bmi = TopDownDib(m_nWidth, m_nHeight);
    SetDIBitsToDevice(compose.Get(), 0, 0, m_nWidth, m_nHeight, 0, 0, 0, m_nHeight, m_pixels.data(), &bmi,
                      DIB_RGB_COLORS);
    DrawVolume(compose.Get(), volume);
    BitBlt(hdc, 0, 0, m_nWidth, m_nHeight, compose.Get(), 0, 0, SRCCOPY);
}

// A bar across the slot with the percentage to its right, both centred vertically.
void CSlotPainter::DrawVolume(HDC hdc, const VOLUMESTATE& volume) const
{
    const int nMargin = std::max(2, m_nHeight / 7);
    const RECT rcContent = {nMargin, nMargin, m_nWidth - nMargin, m_nHeight - nMargin};
    const int cyContent = rcContent.bottom - rcContent.top;
    if (rcContent.right - rcContent.left < kcxMinContent || cyContent < kcyMinContent)
        return;

    CScopedGdiObject<HFONT> font(CreateTextFont(std::max(8, cyContent * 2 / 3)));
    CScopedSelection fontSelection(hdc, font.Get());
    // Room for the widest text, so that the bar keeps its length when the text changes.
    int cxText = 0;
    for (const char* pszWidest : {"100%", "muted"}) {
        SIZE size = {};
        GetTextExtentPoint32A(hdc, pszWidest, static_cast<int>(strlen(pszWidest)), &size);
        cxText = std::max(cxText, static_cast<int>(size.cx));
    }
    RECT rcText = rcContent;
    rcText.left = rcContent.right - cxText;
    const bool bWithText = rcText.left - nMargin - rcContent.left >= kcxMinBar;

    const int cyBar = std::max(2, m_nHeight / 6);
    const int yBar = (rcContent.top + rcContent.bottom - cyBar) / 2;
    RECT rcBar = {rcContent.left, yBar, bWithText ? rcText.left - nMargin : rcContent.right, yBar + cyBar};
    Fill(hdc, rcBar, m_crTrack);
    if (volume.bKnown) {
        rcBar.right = rcBar.left + (rcBar.right - rcBar.left) * Percent(volume.fLevel) / 100;
        Fill(hdc, rcBar, volume.bMuted ? Mix(m_crTrack, m_crText, 40) : RGB(64, 190, 255));
    }

    if (bWithText) {
        char szText[8] = "n/a";
        if (volume.bKnown && volume.bMuted)
            strcpy(szText, "muted");
        else if (volume.bKnown)
            snprintf(szText, sizeof(szText), "%d%%", Percent(volume.fLevel));
        SetBkMode(hdc, TRANSPARENT);
        SetTextColor(hdc, m_crText);
        DrawTextA(hdc, szText, -1, &rcText, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    }
}
