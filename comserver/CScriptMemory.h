#pragma once

#include "ScriptPlatform.h"

// Owns one block from the module allocator and frees it on every path.
template <typename T> class CScriptMemory
{
public:
    explicit CScriptMemory(T* p = nullptr) : m_p(p) {}
    ~CScriptMemory() { ModuleFree(m_p); }
    CScriptMemory(const CScriptMemory&) = delete;
    CScriptMemory& operator=(const CScriptMemory&) = delete;

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
