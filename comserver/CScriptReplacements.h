#pragma once

#include "ScriptPlatform.h"

// The ordered %NAME% replacements of a script run: owned UTF-16 copies of each name and
// value, looked up in the order they were added, names compared without regard to case.
class CScriptReplacements
{
public:
    CScriptReplacements() = default;
    ~CScriptReplacements();
    CScriptReplacements(const CScriptReplacements&) = delete;
    CScriptReplacements& operator=(const CScriptReplacements&) = delete;

    [[nodiscard]] HRESULT Add(const OLECHAR* pwzName, const OLECHAR* pwzValue);
    const OLECHAR* Find(const char* pszName) const;
    void Clear();

private:
    struct Pair
    {
        OLECHAR* pwzName;
        OLECHAR* pwzValue;
    };

    bool Reserve();

    Pair** m_ppPairs = nullptr;
    size_t m_cPairs = 0;
    size_t m_cCapacity = 10;
};
