#pragma once

#include <cstdint>

// How many private heaps the module allocator spreads its blocks over besides the base heap,
// decided from the platform id and major version that the version query reports and the
// processor count. Platform NT 5.0 and later has a heap that scales with processors, and a
// single processor gains nothing, so both get none (0). Otherwise the answer is the largest
// power of two not above twice the processor count, so that a block's heap is picked with a
// bit mask of a rotating counter.
std::uint32_t ExtraHeapCount(std::uint32_t dwPlatformId, std::uint32_t dwMajorVersion, std::uint32_t cProcessors);
