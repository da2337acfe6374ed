#pragma once

#include <unknwn.h>

// Owns one reference to a COM object and releases it when it goes, or when another takes
// its place. The one holder of COM references for the libraries, the tools and the tests.
template <class T> class CComRef
{
public:
    CComRef() = default;
    // Takes over a reference the caller owns (no AddRef).
    explicit CComRef(T* p) : m_p(p) {}
    ~CComRef() { Reset(); }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For a function that hands out a reference: the one held is released first.
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Reset()
    {
        T* p = m_p;
        m_p = nullptr;
        if (p)
            p->Release();
    }
    // Hands the reference over to the caller.
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p = nullptr;
};
