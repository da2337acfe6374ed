// The host's check of a received snapshot block, run natively under the sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "DeskbandProtocol.h"

namespace
{
std::vector<uint8_t> Block(uint32_t nWidth, uint32_t nHeight, size_t cbData)
{
    std::vector<uint8_t> block(cbData);
    const uint32_t words[] = {DESKBAND_SNAPSHOT_HEADER_WORD, nWidth, nHeight, 0};
    memcpy(block.data(), words, std::min(sizeof(words), cbData));
    return block;
}

bool IsValid(const std::vector<uint8_t>& block, uintptr_t dwData = DESKBAND_SNAPSHOT_ID)
{
    return DeskbandSnapshotIsValid(dwData, block.data(), block.size(), nullptr);
}
}

TEST(DeskbandProtocol, AcceptsBlocksOfExactlyTheClaimedSize)
{
    const std::vector<uint8_t> block = Block(100, 30, 12052);
    DESKBANDSNAPSHOTHEADER header = {};
    ASSERT_TRUE(DeskbandSnapshotIsValid(DESKBAND_SNAPSHOT_ID, block.data(), block.size(), &header));
    EXPECT_EQ(header.nWidth, 100u);
    EXPECT_EQ(header.nHeight, 30u);
    EXPECT_TRUE(IsValid(Block(0, 30, 52)));
    EXPECT_TRUE(IsValid(Block(7, 0, 52)));
}

TEST(DeskbandProtocol, RejectsForeignShortAndMismatchedBlocks)
{
    EXPECT_FALSE(IsValid(Block(100, 30, 12052), 9925));
    EXPECT_FALSE(DeskbandSnapshotIsValid(DESKBAND_SNAPSHOT_ID, nullptr, 12052, nullptr));
    EXPECT_FALSE(IsValid(Block(0, 0, 51)));
    EXPECT_FALSE(IsValid(Block(0, 0, 16)));
    EXPECT_FALSE(IsValid(Block(100, 30, 12051)));
    EXPECT_FALSE(IsValid(Block(100, 30, 12056)));
    std::vector<uint8_t> block = Block(1, 1, 56);
    block[0] = 48;
    EXPECT_FALSE(IsValid(block));
}

// Sizes whose 52 + 4*W*H wraps around must not pass for a small block.
TEST(DeskbandProtocol, RejectsSizesThatOverflow)
{
    size_t cb = 0;
    EXPECT_FALSE(DeskbandSnapshotSize(0xFFFFFFFF, 0xFFFFFFFF, &cb));
    EXPECT_FALSE(IsValid(Block(0x40000000, 4, 52)));
    EXPECT_FALSE(IsValid(Block(0x80000000, 0x80000000, 52)));
    EXPECT_FALSE(IsValid(Block(0xFFFFFFFF, 0xFFFFFFFF, 52)));
    EXPECT_TRUE(DeskbandSnapshotSize(0xFFFF, 0xFFFF, &cb));
    EXPECT_EQ(cb, 52 + size_t(4) * 0xFFFF * 0xFFFF);
}
