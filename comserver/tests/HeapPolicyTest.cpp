#include <gtest/gtest.h>

#include "HeapPolicy.h"

TEST(HeapPolicy, OnlyMultiprocessorSystemsBeforeNt5GetThePowerOfTwoUpToTwiceTheProcessors)
{
    const std::uint32_t kUnknown = 0, kWindows = 1, kNt = 2;
    const struct
    {
        std::uint32_t dwPlatformId, dwMajorVersion, cProcessors, cExpected;
    } aCases[] = {
        {kNt, 5, 2, 0},
        {kNt, 6, 8, 0},
        {kNt, 10, 64, 0},
        {kNt, 4, 1, 0},
        {kWindows, 4, 1, 0},
        {kWindows, 4, 0, 0},
        {kNt, 4, 2, 4},
        {kNt, 4, 3, 4},
        {kWindows, 4, 4, 8},
        {kWindows, 4, 7, 8},
        {kNt, 3, 8, 16},
        {kNt, 4, 15, 16},
        {kNt, 4, 16, 32},
        {kWindows, 5, 32, 64},
        // A failed version query reports platform 0, which is not NT.
        {kUnknown, 0, 2, 4},
        {kUnknown, 6, 5, 8},
    };
    for (const auto& c : aCases) {
        EXPECT_EQ(ExtraHeapCount(c.dwPlatformId, c.dwMajorVersion, c.cProcessors), c.cExpected)
            << "platform " << c.dwPlatformId << " major " << c.dwMajorVersion << " processors " << c.cProcessors;
    }
}
