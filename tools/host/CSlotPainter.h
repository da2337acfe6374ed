#pragma once

#include <windows.h>

#include <stdint.h>

#include <vector>

// What the host knows of the endpoint's volume; bKnown is false without an endpoint.
struct VOLUMESTATE
{
    bool bKnown;
    float fLevel;
    bool bMuted;
};

// Draws what the host shows in the band's slot: the taskbar's background from the latest
// snapshot and, over it, the endpoint's volume as a level bar and a percentage ("muted" when
// muted). The drawing keeps a margin of plain background on every side, so that the slot's
// edges are the taskbar's own pixels and no seam shows.
class CSlotPainter
{
public:
    CSlotPainter();

    // Takes a snapshot's pixels: 32-bit top-down rows, bytes blue, green, red and a fourth byte
    // that is not alpha.
    void SetBackground(uint32_t nWidth, uint32_t nHeight, std::vector<uint8_t> pixels);
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    // Draws the background and the volume at (0, 0) of hdc.
    void Paint(HDC hdc, const VOLUMESTATE& volume) const;

private:
    void DrawVolume(HDC hdc, const VOLUMESTATE& volume) const;

    int m_nWidth;
    int m_nHeight;
    std::vector<uint8_t> m_pixels;
    // Chosen from the background's average colour, so that the drawing reads on a dark
    // taskbar as well as on a light one.
    COLORREF m_crText;
    COLORREF m_crTrack;
};
