#pragma once

// The module allocator of the host tests, which can be told to fail.
enum eAllocationFailure
{
    eFailNothing,
    eFailEveryAllocation,  // ModuleAlloc and ModuleRealloc
    eFailGrowth,           // ModuleRealloc only
};

void FailModuleAllocations(eAllocationFailure eFailure);
