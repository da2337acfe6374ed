#pragma once

#include <cstddef>

// The module allocator: every dynamic allocation of a library built on this frame goes
// through these, new and delete included. Memory is not zeroed. ModuleFree(nullptr) does
// nothing; ModuleRealloc(nullptr, n) allocates. Programs outside such a library (host builds,
// tests) link an implementation of their own.
void* ModuleAlloc(size_t cb);
void* ModuleRealloc(void* pv, size_t cb);
void ModuleFree(void* pv);
