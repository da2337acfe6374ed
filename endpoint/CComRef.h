#pragma once

#include <unknwn.h>

// Holds one reference to a COM object for the lifetime of a local variable.
template <class T> class CComRef
{
public:
    CComRef() : m_p(nullptr) {}
    ~CComRef()
    {
        if (m_p)
            m_p->Release();
    }

    T** operator&() { return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    // Hands the reference over to the caller.
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    T* m_p;
};
