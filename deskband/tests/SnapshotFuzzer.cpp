// libFuzzer target for the host's check of a received snapshot block: whatever a block holds
// and however long it is, the check reads nothing past its end, and a block it accepts can be
// read as a host reads it, every pixel and the spare word, without leaving the block.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "DeskbandProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbInput, size_t cbInput)
{
    if (cbInput == 0)
        return 0;
    // The first byte picks the identifier the block arrives with; the rest is the block,
    // copied to memory of exactly its size so that the sanitizer sees any read beyond it.
    const uintptr_t dwData = (pbInput[0] & 1) ? DESKBAND_SNAPSHOT_ID : pbInput[0];
    const std::vector<uint8_t> block(pbInput + 1, pbInput + cbInput);
    DESKBANDSNAPSHOTHEADER header;
    if (!DeskbandSnapshotIsValid(dwData, block.data(), block.size(), &header))
        return 0;

    const size_t cPixels = static_cast<size_t>(header.nWidth) * header.nHeight;
    volatile uint32_t uSum = 0;
    for (size_t i = 0; i <= cPixels; ++i) {
        uint32_t uWord;
        memcpy(&uWord, block.data() + DESKBAND_SNAPSHOT_PIXEL_OFFSET + 4 * i, sizeof(uWord));
        uSum = uSum + uWord;
    }
    return 0;
}
