#pragma once

#include <windows.h>
#include <propidl.h>

// Owns one PROPVARIANT (a property store's answer) and clears it, with any string it holds,
// when it goes.
class CPropVariant
{
public:
    CPropVariant() { PropVariantInit(&m_value); }
    ~CPropVariant() { PropVariantClear(&m_value); }
    CPropVariant(const CPropVariant&) = delete;
    CPropVariant& operator=(const CPropVariant&) = delete;

    // For a function that hands out a value: the one held is cleared first.
    PROPVARIANT* Receive()
    {
        PropVariantClear(&m_value);
        return &m_value;
    }
    // The text the value holds, or null when it holds none.
    LPCWSTR Text() const { return m_value.vt == VT_LPWSTR ? m_value.pwszVal : nullptr; }

private:
    PROPVARIANT m_value;
};
