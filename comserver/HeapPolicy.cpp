#include "HeapPolicy.h"

namespace
{
const std::uint32_t kPlatformNt = 2;
const std::uint32_t kFirstScalableNtVersion = 5;

// Largest power of two not above n (n >= 1), computed without overflowing.
std::uint32_t LargestPowerOfTwoUpTo(std::uint32_t n)
{
    std::uint32_t p = 1;
    while (p <= n / 2)
        p *= 2;
    return p;
}
}

std::uint32_t ExtraHeapCount(std::uint32_t dwPlatformId, std::uint32_t dwMajorVersion, std::uint32_t cProcessors)
{
    if (dwPlatformId == kPlatformNt && dwMajorVersion >= kFirstScalableNtVersion)
        return 0;
    if (cProcessors <= 1)
        return 0;
    // Twice the largest power of two up to n is the largest one up to 2n; a count beyond
    // any real machine wraps to 0, which means no extra heaps.
    return 2 * LargestPowerOfTwoUpTo(cProcessors);
}
