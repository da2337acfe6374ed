#include <gtest/gtest.h>

#include "HeapPolicy.h"

namespace
{
const std::uint32_t kPlatformUnknown = 0;
const std::uint32_t kPlatformWindows = 1;
const std::uint32_t kPlatformNt = 2;
}

TEST(HeapPolicy, ScalablePlatformsAndSingleProcessorsGetNoExtraHeaps)
{
    EXPECT_EQ(ExtraHeapCount(kPlatformNt, 5, 2), 0u);
    EXPECT_EQ(ExtraHeapCount(kPlatformNt, 6, 8), 0u);
    EXPECT_EQ(ExtraHeapCount(kPlatformNt, 10, 64), 0u);
    EXPECT_EQ(ExtraHeapCount(kPlatformNt, 4, 1), 0u);
    EXPECT_EQ(ExtraHeapCount(kPlatformWindows, 4, 1), 0u);
    EXPECT_EQ(ExtraHeapCount(kPlatformWindows, 4, 0), 0u);
}

TEST(HeapPolicy, OtherMultiprocessorSystemsGetTheLargestPowerOfTwoUpToTwiceTheProcessors)
{
    struct
    {
        std::uint32_t dwPlatformId, dwMajorVersion, cProcessors, cExpected;
    } const aCases[] = {
        {kPlatformNt, 4, 2, 4},       {kPlatformNt, 4, 3, 4},       {kPlatformWindows, 4, 4, 8},
        {kPlatformWindows, 4, 7, 8},  {kPlatformNt, 3, 8, 16},      {kPlatformNt, 4, 15, 16},
        {kPlatformNt, 4, 16, 32},     {kPlatformWindows, 5, 32, 64},
        // A failed version query reports platform 0, which is not NT.
        {kPlatformUnknown, 0, 2, 4},  {kPlatformUnknown, 6, 5, 8},
    };
    for (const auto& c : aCases) {
        EXPECT_EQ(ExtraHeapCount(c.dwPlatformId, c.dwMajorVersion, c.cProcessors), c.cExpected)
            << "platform " << c.dwPlatformId << " major " << c.dwMajorVersion << " processors " << c.cProcessors;
    }
}
