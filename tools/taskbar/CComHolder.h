#pragma once

#include <unknwn.h>

// Holds one reference to a COM object for as long as it lives.
template <class T> class CComHolder
{
public:
    CComHolder() : m_p(nullptr) {}
    explicit CComHolder(T* p) : m_p(p) {}
    ~CComHolder() { Reset(); }

    // For functions that hand out a reference: releases the one held first.
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset()
    {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }

private:
    CComHolder(const CComHolder&) = delete;
    CComHolder& operator=(const CComHolder&) = delete;

    T* m_p;
};
