// The module allocator that Veltrix's trace code copies queued texts with, for a test
// program that links the trace code without the rest of the library. It counts, so tests
// can tell that every copy came from it and went back to it.
#include <atomic>
#include <cstdlib>

#include "CServerModule.h"

std::atomic<long> g_cModuleAlloc;
std::atomic<long> g_cModuleFree;

void* ModuleAlloc(size_t cb)
{
    ++g_cModuleAlloc;
    return malloc(cb);
}

void* ModuleRealloc(void* pv, size_t cb)
{
    return realloc(pv, cb);
}

void ModuleFree(void* pv)
{
    if (pv)
        ++g_cModuleFree;
    free(pv);
}
