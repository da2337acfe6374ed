// The module allocator. With the base heap alone, blocks come straight from it. With extra
// heaps, successive blocks rotate over them, and each block carries a header whose first
// pointer-sized word names its heap, so that resizing and freeing find the heap without a
// search.
#include <cstdint>

#include "CServerModule.h"

namespace
{
// HeapAlloc returns blocks aligned to MEMORY_ALLOCATION_ALIGNMENT (8 bytes on x86, 16 on
// x64), and callers of the module allocator rely on that alignment as they would on the heap
// itself: a header of exactly that size keeps the caller's part aligned.
const size_t kcbHeader = MEMORY_ALLOCATION_ALIGNMENT;
static_assert(sizeof(HANDLE) <= kcbHeader, "the header holds the heap's handle");

bool HasHeapTable()
{
    return g_module.m_phHeaps != nullptr;
}

// The counter is deliberately unsynchronised: two threads picking the same heap is harmless,
// since every heap serialises its own calls. It wraps through unsigned arithmetic.
HANDLE NextHeap()
{
    unsigned uIndex = static_cast<unsigned>(g_module.m_nNextHeap);
    g_module.m_nNextHeap = static_cast<int>(uIndex + 1);
    return g_module.m_phHeaps[uIndex & g_module.m_dwHeapMask];
}

// A size that cannot take the header would wrap to a small block.
bool FitsWithHeader(size_t cb)
{
    return cb <= SIZE_MAX - kcbHeader;
}

void* BlockOf(void* pv)
{
    return static_cast<BYTE*>(pv) - kcbHeader;
}

HANDLE HeapOfBlock(void* pvBlock)
{
    return *static_cast<HANDLE*>(pvBlock);
}

void* CallerPartOf(void* pvBlock)
{
    return pvBlock ? static_cast<BYTE*>(pvBlock) + kcbHeader : nullptr;
}
}

void* ModuleAlloc(size_t cb)
{
    if (!HasHeapTable())
        return HeapAlloc(g_module.m_hHeap, 0, cb);
    if (!FitsWithHeader(cb))
        return nullptr;
    HANDLE hHeap = NextHeap();
    void* pvBlock = HeapAlloc(hHeap, 0, cb + kcbHeader);
    if (pvBlock)
        *static_cast<HANDLE*>(pvBlock) = hHeap;
    return CallerPartOf(pvBlock);
}

void* ModuleRealloc(void* pv, size_t cb)
{
    if (!pv)
        return ModuleAlloc(cb);
    if (!HasHeapTable())
        return HeapReAlloc(g_module.m_hHeap, 0, pv, cb);
    if (!FitsWithHeader(cb))
        return nullptr;
    void* pvBlock = BlockOf(pv);
    return CallerPartOf(HeapReAlloc(HeapOfBlock(pvBlock), 0, pvBlock, cb + kcbHeader));
}

void ModuleFree(void* pv)
{
    if (!pv)
        return;
    if (!HasHeapTable()) {
        HeapFree(g_module.m_hHeap, 0, pv);
        return;
    }
    void* pvBlock = BlockOf(pv);
    HeapFree(HeapOfBlock(pvBlock), 0, pvBlock);
}
