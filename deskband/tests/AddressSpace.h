#pragma once

#include <windows.h>

#include <algorithm>

// In a 64-bit test process, called before Veltrix.dll is loaded: takes every free stretch of
// address space below 4 GB, so that the library's heaps, and every block and object they hold,
// lie above it. A pointer cut to 32 bits anywhere in the library (window data, a message
// parameter, an allocator header) then points at nothing instead of happening to work.
inline void ReserveAddressSpaceBelow4Gb()
{
#ifdef _WIN64
    const UINT_PTR kuGranularity = 0x10000, kuLimit = 0x100000000ull;
    MEMORY_BASIC_INFORMATION mbi;
    for (UINT_PTR u = kuGranularity; u < kuLimit && VirtualQuery(reinterpret_cast<void*>(u), &mbi, sizeof(mbi));
         u = reinterpret_cast<UINT_PTR>(mbi.BaseAddress) + mbi.RegionSize) {
        const UINT_PTR uBase = reinterpret_cast<UINT_PTR>(mbi.BaseAddress);
        const UINT_PTR uStart = (uBase + kuGranularity - 1) & ~(kuGranularity - 1);
        const UINT_PTR uEnd = std::min(uBase + mbi.RegionSize, kuLimit);
        if (mbi.State == MEM_FREE && uEnd > uStart)
            VirtualAlloc(reinterpret_cast<void*>(uStart), uEnd - uStart, MEM_RESERVE, PAGE_NOACCESS);
    }
#endif
}
