#pragma once

#include "ModuleMemory.h"

// Owns one block from the module allocator and frees it on every path.
template <typename T> class CModuleMemory
{
public:
    explicit CModuleMemory(T* p = nullptr) : m_p(p) {}
    ~CModuleMemory() { ModuleFree(m_p); }
    CModuleMemory(const CModuleMemory&) = delete;
    CModuleMemory& operator=(const CModuleMemory&) = delete;

    T* Get() const { return m_p; }
    void Reset(T* p)
    {
        if (p != m_p) {
            ModuleFree(m_p);
            m_p = p;
        }
    }
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p;
};
