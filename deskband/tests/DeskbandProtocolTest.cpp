// The host's check of a received snapshot block, run natively under the sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "DeskbandProtocol.h"

TEST(DeskbandProtocol, AcceptsOnlyBlocksOfExactlyTheClaimedSize)
{
    // The identifier, then the header word, width and height, then the block's size.
    const struct
    {
        uintptr_t dwData;
        uint32_t words[3];
        size_t cbData;
        bool fValid;
    } cases[] = {
        {9924, {52, 100, 30}, 12052, true},
        {9924, {52, 0, 30}, 52, true},
        {9924, {52, 7, 0}, 52, true},
        {9925, {52, 100, 30}, 12052, false},
        {9924, {48, 1, 1}, 56, false},
        {9924, {52, 0, 0}, 51, false},
        {9924, {52, 100, 30}, 12051, false},
        {9924, {52, 100, 30}, 12056, false},
        // 52 + 4*W*H wraps around to a small size on 32 or 64 bits.
        {9924, {52, 0x40000000, 4}, 52, false},
        {9924, {52, 0xFFFFFFFF, 0xFFFFFFFF}, 52, false},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> block(c.cbData);
        memcpy(block.data(), c.words, std::min(sizeof(c.words), c.cbData));
        DESKBANDSNAPSHOTHEADER header = {};
        EXPECT_EQ(DeskbandSnapshotIsValid(c.dwData, block.data(), block.size(), &header), c.fValid)
            << c.words[1] << "x" << c.words[2] << " in " << c.cbData;
        EXPECT_TRUE(!c.fValid || (header.nWidth == c.words[1] && header.nHeight == c.words[2]));
    }
    EXPECT_FALSE(DeskbandSnapshotIsValid(DESKBAND_SNAPSHOT_ID, nullptr, 12052, nullptr));
    // A block is at most what the 32-bit cbData of a copy-data message can carry, even where
    // a size_t could hold more.
    size_t cb = 0;
    EXPECT_FALSE(DeskbandSnapshotSize(0xFFFFFFFF, 0xFFFFFFFF, &cb));
    EXPECT_FALSE(DeskbandSnapshotSize(0xFFFF, 0xFFFF, &cb));
    EXPECT_TRUE(DeskbandSnapshotSize(0x7FFF, 0x7FFF, &cb));
    EXPECT_EQ(cb, 52 + size_t(4) * 0x7FFF * 0x7FFF);
}
