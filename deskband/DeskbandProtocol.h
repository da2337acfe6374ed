#pragma once

// The window-message protocol between the desk band and the host program, and the layout of
// the background snapshot the band sends it. Both sides include this header, so it depends
// on nothing but the C standard headers and needs no platform headers.
//
// The host finds the band's utility window by class and title, sends it the query and
// registration messages below, and from then on receives WM_COPYDATA (wParam: the utility
// window) whose COPYDATASTRUCT carries dwData DESKBAND_SNAPSHOT_ID and a snapshot block:
//
//   byte 0    word 52 (DESKBAND_SNAPSHOT_HEADER_WORD)
//   byte 4    W, width in pixels
//   byte 8    H, height in pixels
//   byte 12   the band's view mode when the snapshot was sent
//   byte 16   32 reserved bytes, zero
//   byte 48   W*H pixels, 32-bit top-down rows of 4*W bytes, bytes blue, green, red, spare
//   end - 4   one spare word, zero
//
// cbData is 52 + 4*W*H. The block lives only while the host handles the message. The layout
// is the same for 32-bit and 64-bit bands and hosts, which talk to each other freely.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

const char DESKBAND_UTILITY_CLASS[] = "VeltrixUtilityWindowClass";
const char DESKBAND_UTILITY_TITLE[] = "VeltrixUtilityWindow";

// Posted by the band to its own utility window right after creating it.
const unsigned int WM_DESKBAND_UTILITYCREATED = 1067;
// Host to utility window; the results are the band window, the view mode (DBIF_VIEWMODE_*)
// and the background colour (a COLORREF, 0 until the container has reported one).
const unsigned int WM_DESKBAND_GETBANDWINDOW = 9925;
const unsigned int WM_DESKBAND_GETVIEWMODE = 9926;
const unsigned int WM_DESKBAND_GETBKCOLOR = 9927;
// Host to utility window, lParam the host window (or 0 to unregister). A snapshot reaches
// the host window before this message returns. A host window that does not take a snapshot
// within 2 seconds (its thread hung or not handling messages) is forgotten: register again.
const unsigned int WM_DESKBAND_SETHOSTWINDOW = 9928;
// Posted by the band to its band window: render the background again and send a snapshot.
const unsigned int WM_DESKBAND_REFRESH = 6941;

const uint32_t DESKBAND_SNAPSHOT_ID = 9924;
const uint32_t DESKBAND_SNAPSHOT_HEADER_WORD = 52;
const size_t DESKBAND_SNAPSHOT_PIXEL_OFFSET = 48;
// The fixed part: the header up to the pixels plus the spare word after them.
const size_t DESKBAND_SNAPSHOT_FIXED_SIZE = DESKBAND_SNAPSHOT_PIXEL_OFFSET + 4;

// Fixed-width words only, so that the header reads the same in a program of either bitness.
struct DESKBANDSNAPSHOTHEADER
{
    uint32_t dwHeaderWord;
    uint32_t nWidth;
    uint32_t nHeight;
    uint32_t dwViewMode;
    uint8_t abReserved[32];
};
static_assert(offsetof(DESKBANDSNAPSHOTHEADER, nWidth) == 4 && offsetof(DESKBANDSNAPSHOTHEADER, nHeight) == 8 &&
                  offsetof(DESKBANDSNAPSHOTHEADER, dwViewMode) == 12 &&
                  offsetof(DESKBANDSNAPSHOTHEADER, abReserved) == 16,
              "the header's words are at the same offsets for every bitness");
static_assert(sizeof(DESKBANDSNAPSHOTHEADER) == DESKBAND_SNAPSHOT_PIXEL_OFFSET,
              "the pixels follow the header directly");

// The block size for a W x H snapshot, 52 + 4*W*H; false when it does not fit the copy-data
// size, a 32-bit cbData for 32-bit and 64-bit programs alike.
inline bool DeskbandSnapshotSize(uint32_t nWidth, uint32_t nHeight, size_t* pcbBlock)
{
    const size_t cbRoom = (UINT32_MAX - DESKBAND_SNAPSHOT_FIXED_SIZE) / 4;
    if (nWidth != 0 && nHeight > cbRoom / nWidth)
        return false;
    *pcbBlock = DESKBAND_SNAPSHOT_FIXED_SIZE + 4 * static_cast<size_t>(nWidth) * nHeight;
    return true;
}

// Checks a received WM_COPYDATA block before the host reads its pixels: the identifier,
// the header word, and a size that matches the width and height the block claims. On
// success *pHeader (when given) receives the header.
inline bool DeskbandSnapshotIsValid(uintptr_t dwData, const void* pvData, size_t cbData,
                                    DESKBANDSNAPSHOTHEADER* pHeader)
{
    if (dwData != DESKBAND_SNAPSHOT_ID || !pvData || cbData < DESKBAND_SNAPSHOT_FIXED_SIZE)
        return false;
    DESKBANDSNAPSHOTHEADER header;
    memcpy(&header, pvData, sizeof(header));
    size_t cbExpected = 0;
    if (header.dwHeaderWord != DESKBAND_SNAPSHOT_HEADER_WORD ||
        !DeskbandSnapshotSize(header.nWidth, header.nHeight, &cbExpected) || cbData != cbExpected)
        return false;
    if (pHeader)
        *pHeader = header;
    return true;
}
