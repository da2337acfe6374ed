#include "TestModuleMemory.h"

#include <cstdlib>

#include "ScriptPlatform.h"

namespace
{
eAllocationFailure g_eFailure = eFailNothing;
}

void FailModuleAllocations(eAllocationFailure eFailure) { g_eFailure = eFailure; }

void* ModuleAlloc(size_t cb) { return g_eFailure == eFailEveryAllocation ? nullptr : std::malloc(cb ? cb : 1); }

void* ModuleRealloc(void* pv, size_t cb)
{
    return g_eFailure != eFailNothing ? nullptr : std::realloc(pv, cb ? cb : 1);
}

void ModuleFree(void* pv) { std::free(pv); }
