#pragma once

#include <windows.h>
#include <objbase.h>

// COM on the calling thread for one scope, in the apartment asked for: what it added (S_OK or
// S_FALSE) it gives back there; a thread already in the other apartment is left as it is.
class CComScope
{
public:
    explicit CComScope(DWORD dwCoInit) : m_hr(CoInitializeEx(nullptr, dwCoInit)) {}
    ~CComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    HRESULT m_hr;
};
