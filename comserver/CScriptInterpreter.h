#pragma once

#include "CRegistryStore.h"
#include "CScriptReplacements.h"

// Runs a registry script against a store: the register pass creates keys and writes
// values, the unregister pass removes them again bottom-up. A register pass that fails is
// followed at once by the unregister pass over the same root block.
class CScriptInterpreter
{
public:
    static constexpr size_t kcbToken = 4096;
    static constexpr size_t kcbValueName = 260;
    // Registry keys nest at most 512 deep; deeper blocks are refused before they can
    // exhaust the stack.
    static constexpr int kcMaxDepth = 512;

    CScriptInterpreter(CRegistryStore& store, const CScriptReplacements& replacements)
        : m_store(store), m_replacements(replacements)
    {
    }

#ifdef _WIN32
    // Runs the script held in resource nId of type pszType in the module file at pwzModule.
    [[nodiscard]] HRESULT RunFromResource(const OLECHAR* pwzModule, UINT nId, const char* pszType, bool fRegister);
#endif
    // Expands and runs cchText bytes of script text (it ends earlier at a NUL).
    [[nodiscard]] HRESULT RunText(const char* pchText, size_t cchText, bool fRegister);

    // Gives a newly allocated copy of the text with every %NAME% replaced (ModuleFree it).
    [[nodiscard]] HRESULT ExpandReplacements(const char* pchText, size_t cchText, char** ppszExpanded) const;

private:
    struct Block;

#ifdef _WIN32
    [[nodiscard]] HRESULT RunResourceOf(HMODULE hModule, UINT nId, const char* pszType, bool fRegister);
#endif
    [[nodiscard]] HRESULT RunRootBlocks(bool fRegister);
    [[nodiscard]] HRESULT ReadToken(char* pszToken, size_t cbToken = kcbToken);
    [[nodiscard]] HRESULT ReadQuotedToken(char* pszToken, size_t cbToken, size_t* pcb);
    [[nodiscard]] HRESULT ReadPlainToken(char* pszToken, size_t cbToken, size_t* pcb);
    void SkipSpace();
    void CopyChar(char* pszToken, size_t* pcb, size_t cch);
    [[nodiscard]] HRESULT ProcessBlock(char* pszToken, HSTOREKEY hParent, bool fRegister, bool fRecover);
    [[nodiscard]] HRESULT ProcessEntries(char* pszToken, Block& block, bool fRegister);
    [[nodiscard]] HRESULT ProcessEntry(char* pszToken, Block& block, bool fRegister, bool fForceRemove,
                                       bool fDeleteOnly);
    [[nodiscard]] HRESULT ProcessValueEntry(char* pszToken, Block& block, bool fRegister);
    [[nodiscard]] HRESULT RegisterKeyEntry(char* pszToken, Block& block, bool fForceRemove, bool fDeleteOnly);
    [[nodiscard]] HRESULT UnregisterKeyEntry(char* pszToken, Block& block, bool fForceRemove);
    [[nodiscard]] HRESULT WriteValue(HSTOREKEY hKey, const char* pszValueName, char* pszToken);
    [[nodiscard]] HRESULT StoreValue(HSTOREKEY hKey, const char* pszValueName, eValueType eType, const char* pszValue);
    [[nodiscard]] HRESULT SkipValueClause(char* pszToken);
    [[nodiscard]] HRESULT OpenOrCreateKey(HSTOREKEY hParent, const char* pszName, HSTOREKEY* phKey);
    HSTOREKEY OpenKeyToRemove(HSTOREKEY hParent, const char* pszName);

    CRegistryStore& m_store;
    const CScriptReplacements& m_replacements;
    const char* m_pch = nullptr;
    int m_cDepth = 0;
};
