// The language's allocation operators, every form of them, routed to the module allocator so
// that the library allocates from its own heaps only. Code that must turn an allocation
// failure into E_OUTOFMEMORY allocates with new (std::nothrow).
#include <cstdint>
#include <cstdlib>
#include <new>

#include "CServerModule.h"

namespace
{
// The plain forms may not return null: they throw where exceptions exist and stop the
// process where the library is built without them.
[[noreturn]] void FailAllocation()
{
#if defined(__cpp_exceptions) || defined(_CPPUNWIND)
    throw std::bad_alloc();
#else
    std::abort();
#endif
}

void* AllocateOrFail(size_t cb)
{
    void* pv = ModuleAlloc(cb);
    if (!pv)
        FailAllocation();
    return pv;
}

// Over-aligned blocks: the module allocator guarantees the platform's allocation alignment
// (MEMORY_ALLOCATION_ALIGNMENT), so the block is padded and the address of the underlying
// allocation is kept just below the aligned pointer.
void* AllocateAligned(size_t cb, std::align_val_t al) noexcept
{
    const size_t cbAlign = static_cast<size_t>(al);
    const size_t cbExtra = cbAlign - 1 + sizeof(void*);
    if (cb > SIZE_MAX - cbExtra)
        return nullptr;
    void* pvBlock = ModuleAlloc(cb + cbExtra);
    if (!pvBlock)
        return nullptr;
    const uintptr_t uAligned = (reinterpret_cast<uintptr_t>(pvBlock) + cbExtra) & ~(cbAlign - 1);
    reinterpret_cast<void**>(uAligned)[-1] = pvBlock;
    return reinterpret_cast<void*>(uAligned);
}

void* AllocateAlignedOrFail(size_t cb, std::align_val_t al)
{
    void* pv = AllocateAligned(cb, al);
    if (!pv)
        FailAllocation();
    return pv;
}

void FreeAligned(void* pv) noexcept
{
    if (pv)
        ModuleFree(static_cast<void**>(pv)[-1]);
}
}

void* operator new(size_t cb)
{
    return AllocateOrFail(cb);
}
void* operator new[](size_t cb)
{
    return AllocateOrFail(cb);
}
void* operator new(size_t cb, const std::nothrow_t&) noexcept
{
    return ModuleAlloc(cb);
}
void* operator new[](size_t cb, const std::nothrow_t&) noexcept
{
    return ModuleAlloc(cb);
}

void operator delete(void* pv) noexcept
{
    ModuleFree(pv);
}
void operator delete[](void* pv) noexcept
{
    ModuleFree(pv);
}
void operator delete(void* pv, size_t) noexcept
{
    ModuleFree(pv);
}
void operator delete[](void* pv, size_t) noexcept
{
    ModuleFree(pv);
}
void operator delete(void* pv, const std::nothrow_t&) noexcept
{
    ModuleFree(pv);
}
void operator delete[](void* pv, const std::nothrow_t&) noexcept
{
    ModuleFree(pv);
}

void* operator new(size_t cb, std::align_val_t al)
{
    return AllocateAlignedOrFail(cb, al);
}
void* operator new[](size_t cb, std::align_val_t al)
{
    return AllocateAlignedOrFail(cb, al);
}
void* operator new(size_t cb, std::align_val_t al, const std::nothrow_t&) noexcept
{
    return AllocateAligned(cb, al);
}
void* operator new[](size_t cb, std::align_val_t al, const std::nothrow_t&) noexcept
{
    return AllocateAligned(cb, al);
}

void operator delete(void* pv, std::align_val_t) noexcept
{
    FreeAligned(pv);
}
void operator delete[](void* pv, std::align_val_t) noexcept
{
    FreeAligned(pv);
}
void operator delete(void* pv, size_t, std::align_val_t) noexcept
{
    FreeAligned(pv);
}
void operator delete[](void* pv, size_t, std::align_val_t) noexcept
{
    FreeAligned(pv);
}
void operator delete(void* pv, std::align_val_t, const std::nothrow_t&) noexcept
{
    FreeAligned(pv);
}
void operator delete[](void* pv, std::align_val_t, const std::nothrow_t&) noexcept
{
    FreeAligned(pv);
}
