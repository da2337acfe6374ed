// The C host's check of a snapshot, in a translation unit that sees nothing but the protocol
// header and is compiled as strict C99: the header stands on its own in C and links beside
// another unit that includes it.
#include "DeskbandProtocol.h"

bool SnapshotFitsBand(uintptr_t dwData, const void* pvData, size_t cbData, uint32_t nWidth, uint32_t nHeight);

// A block the header's check accepts, of the given size, whose spare word is zero.
bool SnapshotFitsBand(uintptr_t dwData, const void* pvData, size_t cbData, uint32_t nWidth, uint32_t nHeight)
{
    DESKBANDSNAPSHOTHEADER header;
    uint32_t dwSpare = 1;
    if (!DeskbandSnapshotIsValid(dwData, pvData, cbData, &header) || header.nWidth != nWidth ||
        header.nHeight != nHeight)
        return false;
    memcpy(&dwSpare, (const uint8_t*)pvData + cbData - 4, sizeof(dwSpare));
    return dwSpare == 0;
}
