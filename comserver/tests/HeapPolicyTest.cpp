#include <gtest/gtest.h>

#include "HeapPolicy.h"

TEST(HeapPolicy, OnlyMultiprocessorSystemsBeforeNt5GetThePowerOfTwoUpToTwiceTheProcessors)
{
    const std::uint32_t kUnknown = 0, kWindows = 1, kNt = 2;
    const struct
    {
        const char* pszCase;
        std::uint32_t dwPlatformId, dwMajorVersion, cProcessors, cExpected;
    } aCases[] = {
        {"NT 5 scales by itself", kNt, 5, 8, 0},        {"one processor gains nothing", kNt, 4, 1, 0},
        {"3 processors: 4 up to 6", kNt, 4, 3, 4},      {"4 processors: 8", kWindows, 4, 4, 8},
        {"a failed query is no NT", kUnknown, 6, 5, 8},
    };
    for (const auto& c : aCases)
        EXPECT_EQ(ExtraHeapCount(c.dwPlatformId, c.dwMajorVersion, c.cProcessors), c.cExpected) << c.pszCase;
}
