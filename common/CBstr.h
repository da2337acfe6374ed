#pragma once

#include <windows.h>
#include <oleauto.h>

// Owns one BSTR and frees it when it goes.
class CBstr
{
public:
    explicit CBstr(BSTR bstr = nullptr) : m_bstr(bstr) {}
    ~CBstr() { SysFreeString(m_bstr); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    BSTR Get() const { return m_bstr; }
    // For a function that hands out a BSTR: the one held is freed first.
    BSTR* Receive()
    {
        SysFreeString(m_bstr);
        m_bstr = nullptr;
        return &m_bstr;
    }
    BSTR Detach()
    {
        BSTR bstr = m_bstr;
        m_bstr = nullptr;
        return bstr;
    }

private:
    BSTR m_bstr;
};
