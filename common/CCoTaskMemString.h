#pragma once

#include <windows.h>
#include <objbase.h>

// Owns one string that a COM call handed out from the task allocator (IMMDevice::GetId, for
// instance) and frees it with CoTaskMemFree when it goes.
class CCoTaskMemString
{
public:
    CCoTaskMemString() = default;
    ~CCoTaskMemString() { CoTaskMemFree(m_pwsz); }
    CCoTaskMemString(const CCoTaskMemString&) = delete;
    CCoTaskMemString& operator=(const CCoTaskMemString&) = delete;

    LPCWSTR Get() const { return m_pwsz; }
    // For a function that hands out a string: the one held is freed first.
    LPWSTR* Receive()
    {
        CoTaskMemFree(m_pwsz);
        m_pwsz = nullptr;
        return &m_pwsz;
    }

private:
    LPWSTR m_pwsz = nullptr;
};
