#include "CScriptReplacements.h"

#include <cstring>

#include "CCodePage.h"

namespace
{
size_t WideLength(const OLECHAR* pwz)
{
    size_t cch = 0;
    while (pwz[cch])
        ++cch;
    return cch;
}

// Names longer than this cannot stand between two "%" of a script, so they never match.
const size_t kcbLongestName = 64;
}

CScriptReplacements::~CScriptReplacements()
{
    Clear();
    ModuleFree(m_ppPairs);
}

// The pair array is allocated at the first Add, so that creating the map cannot fail.
bool CScriptReplacements::Reserve()
{
    if (m_ppPairs && m_cPairs < m_cCapacity)
        return true;
    size_t cCapacity = m_ppPairs ? 2 * m_cCapacity : m_cCapacity;
    Pair** ppPairs = static_cast<Pair**>(ModuleRealloc(m_ppPairs, cCapacity * sizeof(Pair*)));
    if (!ppPairs)
        return false;
    m_ppPairs = ppPairs;
    m_cCapacity = cCapacity;
    return true;
}

HRESULT CScriptReplacements::Add(const OLECHAR* pwzName, const OLECHAR* pwzValue)
{
    if (!Reserve())
        return E_OUTOFMEMORY;
    size_t cbName = (WideLength(pwzName) + 1) * sizeof(OLECHAR);
    size_t cbValue = (WideLength(pwzValue) + 1) * sizeof(OLECHAR);
    // One block holds the pair and both strings.
    Pair* pPair = static_cast<Pair*>(ModuleAlloc(sizeof(Pair) + cbName + cbValue));
    if (!pPair)
        return E_OUTOFMEMORY;
    pPair->pwzName = reinterpret_cast<OLECHAR*>(pPair + 1);
    pPair->pwzValue = reinterpret_cast<OLECHAR*>(reinterpret_cast<char*>(pPair->pwzName) + cbName);
    std::memcpy(pPair->pwzName, pwzName, cbName);
    std::memcpy(pPair->pwzValue, pwzValue, cbValue);
    m_ppPairs[m_cPairs++] = pPair;
    return S_OK;
}

const OLECHAR* CScriptReplacements::Find(const char* pszName) const
{
    for (size_t i = 0; i < m_cPairs; ++i) {
        char szName[kcbLongestName];
        if (CCodePage::ToMultiByte(m_ppPairs[i]->pwzName, szName, sizeof(szName)) &&
            CCodePage::EqualNoCase(szName, pszName))
            return m_ppPairs[i]->pwzValue;
    }
    return nullptr;
}

void CScriptReplacements::Clear()
{
    for (size_t i = 0; i < m_cPairs; ++i)
        ModuleFree(m_ppPairs[i]);
    m_cPairs = 0;
}
