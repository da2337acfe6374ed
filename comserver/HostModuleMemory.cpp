// The module allocator for programs outside the library (host builds, test programs),
// where the module record does not exist: plain C heap calls.
#include <cstdlib>

#include "ScriptPlatform.h"

void* ModuleAlloc(size_t cb)
{
    return std::malloc(cb ? cb : 1);
}
void* ModuleRealloc(void* pv, size_t cb)
{
    return std::realloc(pv, cb ? cb : 1);
}
void ModuleFree(void* pv)
{
    std::free(pv);
}
