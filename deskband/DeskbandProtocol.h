#pragma once

// The window-message protocol between the desk band and the host program, and the layout of
// the background snapshot the band sends it. Both sides include this header, so it depends
// on nothing but the C standard headers and needs no platform headers. It compiles as C (C99
// and later) and as C++ and defines nothing with external linkage (its names are macros, its
// functions static inline), so any number of translation units of one program may include it.
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
//
// What a host gets wrong on real Windows:
// - Send every message to the band from the thread that owns the host window, and never
//   send WM_DESKBAND_SETHOSTWINDOW from inside the WM_COPYDATA handler: the band is waiting
//   for that handler to return, and a snapshot asked for then comes only after it has.
// - Check every answer: a band window of 0 or a failed SendMessageTimeout means there is no
//   band to draw for (yet); look for the utility window again later.
// - An elevated host must let WM_COPYDATA from the shell through the message filter, or the
//   snapshots are dropped without a trace:
//       ChangeWindowMessageFilterEx(hwndHost, WM_COPYDATA, MSGFLT_ALLOW, NULL);
// - When the shell restarts, the band's windows go and new ones come. The shell announces
//   its restart with the registered message RegisterWindowMessageA("TaskbarCreated"), sent
//   to top-level windows: look for the band again then (and keep a slow timer as a fallback).
// - The fourth byte of each pixel is not alpha (it is 0 wherever the taskbar was drawn with
//   plain GDI): set it to 0xFF before AlphaBlend or UpdateLayeredWindow.
// - Sizes are in the shell's physical pixels: a host that is not per-monitor DPI aware sees
//   them scaled. Declare per-monitor awareness in the manifest.
// - The band loads only into a shell of its own bitness, and the current Windows 11 taskbar
//   shows no desk bands at all: a host must cope with finding none.

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#define DESKBAND_UTILITY_CLASS "VeltrixUtilityWindowClass"
#define DESKBAND_UTILITY_TITLE "VeltrixUtilityWindow"

// Posted by the band to its own utility window right after creating it.
#define WM_DESKBAND_UTILITYCREATED 1067u
// Host to utility window; the results are the band window, the view mode (DBIF_VIEWMODE_*)
// and the background colour (a COLORREF, 0 until the container has reported one).
#define WM_DESKBAND_GETBANDWINDOW 9925u
#define WM_DESKBAND_GETVIEWMODE 9926u
#define WM_DESKBAND_GETBKCOLOR 9927u
// Host to utility window, lParam the host window (or 0 to unregister). A snapshot reaches the
// host window before this message returns (unless the host sends it while handling a
// snapshot: then the snapshot follows). A host window that does not take a snapshot within 2
// seconds (its thread hung or not handling messages) is forgotten: register again.
#define WM_DESKBAND_SETHOSTWINDOW 9928u
// Posted by the band to its band window: render the background again and send a snapshot.
#define WM_DESKBAND_REFRESH 6941u

#define DESKBAND_SNAPSHOT_ID ((uint32_t)9924)
#define DESKBAND_SNAPSHOT_HEADER_WORD ((uint32_t)52)
#define DESKBAND_SNAPSHOT_PIXEL_OFFSET ((size_t)48)
// The fixed part: the header up to the pixels plus the spare word after them.
#define DESKBAND_SNAPSHOT_FIXED_SIZE (DESKBAND_SNAPSHOT_PIXEL_OFFSET + 4)

// Fixed-width words only, so that the header reads the same in a program of either bitness.
typedef struct DESKBANDSNAPSHOTHEADER
{
    uint32_t dwHeaderWord;
    uint32_t nWidth;
    uint32_t nHeight;
    uint32_t dwViewMode;
    uint8_t abReserved[32];
} DESKBANDSNAPSHOTHEADER;

// The pixels follow the header directly, and its words are at the same offsets for every bitness.
#define DESKBAND_SNAPSHOT_HEADER_LAYOUT_OK                                                                             \
    (sizeof(DESKBANDSNAPSHOTHEADER) == DESKBAND_SNAPSHOT_PIXEL_OFFSET &&                                               \
     offsetof(DESKBANDSNAPSHOTHEADER, nWidth) == 4 && offsetof(DESKBANDSNAPSHOTHEADER, nHeight) == 8 &&                \
     offsetof(DESKBANDSNAPSHOTHEADER, dwViewMode) == 12 && offsetof(DESKBANDSNAPSHOTHEADER, abReserved) == 16)
#if defined(__cplusplus)
static_assert(DESKBAND_SNAPSHOT_HEADER_LAYOUT_OK, "the snapshot header's layout");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(DESKBAND_SNAPSHOT_HEADER_LAYOUT_OK, "the snapshot header's layout");
#else
// C99 has no static assertion: an array of negative size fails the build instead.
typedef char DESKBAND_SNAPSHOT_HEADER_LAYOUT_CHECK[DESKBAND_SNAPSHOT_HEADER_LAYOUT_OK ? 1 : -1];
#endif

// The block size for a W x H snapshot, 52 + 4*W*H; false when it does not fit the copy-data
// size, a 32-bit cbData for 32-bit and 64-bit programs alike.
static inline bool DeskbandSnapshotSize(uint32_t nWidth, uint32_t nHeight, size_t* pcbBlock)
{
    const size_t cbRoom = (UINT32_MAX - DESKBAND_SNAPSHOT_FIXED_SIZE) / 4;
    if (nWidth != 0 && nHeight > cbRoom / nWidth)
        return false;
    *pcbBlock = DESKBAND_SNAPSHOT_FIXED_SIZE + 4 * (size_t)nWidth * nHeight;
    return true;
}

// Checks a received WM_COPYDATA block before the host reads its pixels: the identifier,
// the header word, and a size that matches the width and height the block claims. On
// success *pHeader (when given) receives the header.
static inline bool DeskbandSnapshotIsValid(uintptr_t dwData, const void* pvData, size_t cbData,
                                           DESKBANDSNAPSHOTHEADER* pHeader)
{
    DESKBANDSNAPSHOTHEADER header;
    size_t cbExpected = 0;
    if (dwData != DESKBAND_SNAPSHOT_ID || !pvData || cbData < DESKBAND_SNAPSHOT_FIXED_SIZE)
        return false;
    memcpy(&header, pvData, sizeof(header));
    if (header.dwHeaderWord != DESKBAND_SNAPSHOT_HEADER_WORD ||
        !DeskbandSnapshotSize(header.nWidth, header.nHeight, &cbExpected) || cbData != cbExpected)
        return false;
    if (pHeader)
        *pHeader = header;
    return true;
}
