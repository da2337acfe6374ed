#include "CScriptInterpreter.h"

#include <cstring>

#include "CCodePage.h"
#include "CModuleMemory.h"
#include "CStoreKey.h"
#include "ReturnIfFailed.h"
#ifdef _WIN32
#include "CScopedLibrary.h"
#endif

// What one block keeps while its entries are processed.
struct CScriptInterpreter::Block
{
    Block(CRegistryStore& store, HSTOREKEY hParentKey, bool fRecoverOnEntryArg)
        : hParent(hParentKey), key(store), fRecover(fRecoverOnEntryArg), fRecoverOnEntry(fRecoverOnEntryArg)
    {
    }

    HSTOREKEY hParent;
    CStoreKey key;       // the key opened last in this block
    bool fDelete = true; // cleared by "NoRemove" for the rest of the block
    bool fRecover;       // unregister pass: entries are only parsed over
    const bool fRecoverOnEntry;
};

namespace
{
const size_t kcbReplacementName = 32;

bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
}

// The first "%" that is a character of its own, or pchEnd.
const char* FindPercent(const char* pch, const char* pchEnd)
{
    while (pch < pchEnd && *pch != '%')
        pch += CCodePage::CharLength(pch, pchEnd);
    return pch;
}

bool IsBlockStart(const char* pszToken)
{
    return std::strcmp(pszToken, "{") == 0;
}

bool IsProtectedName(const char* pszName)
{
    return CCodePage::EqualNoCase(pszName, "CLSID") || CCodePage::EqualNoCase(pszName, "TYPELIB");
}

// An entry names exactly one key level: a non-empty name without a backslash. (An empty
// name would reach the parent itself, and deleting it would delete the parent.)
bool IsSingleKeyName(const char* pszName)
{
    if (*pszName == '\0')
        return false;
    for (; *pszName != '\0'; pszName += CCodePage::CharLength(pszName))
        if (*pszName == '\\')
            return false;
    return true;
}

struct ValueTypeName
{
    const char* pszName;
    eValueType eType;
};

const ValueTypeName s_aValueTypes[] = {
    {"S", eValueString},
    {"D", eValueNumber},
    {"B", eValueBinary},
};

bool ValueTypeFromName(const char* pszName, eValueType* peType)
{
    for (const ValueTypeName& type : s_aValueTypes) {
        if (CCodePage::EqualNoCase(pszName, type.pszName)) {
            *peType = type.eType;
            return true;
        }
    }
    return false;
}

BYTE HexNibble(char ch)
{
    if (ch >= '0' && ch <= '9')
        return static_cast<BYTE>(ch - '0');
    if (ch >= 'A' && ch <= 'F')
        return static_cast<BYTE>(ch - 'A' + 10);
    if (ch >= 'a' && ch <= 'f')
        return static_cast<BYTE>(ch - 'a' + 10);
    return 0;
}

// A "D" value: text that does not convert is refused rather than stored as some number.
#ifdef _WIN32
[[nodiscard]] HRESULT NumberFromText(const char* psz, DWORD* pdw)
{
    CModuleMemory<OLECHAR> pwz(CCodePage::DupWide(psz));
    if (!pwz.Get())
        return E_OUTOFMEMORY;
    ULONG ul = 0;
    if (FAILED(VarUI4FromStr(pwz.Get(), 0, 0, &ul)))
        return DISP_E_EXCEPTION;
    *pdw = ul;
    return S_OK;
}
#else
[[nodiscard]] HRESULT NumberFromText(const char* psz, DWORD* pdw)
{
    if (*psz == '\0')
        return DISP_E_EXCEPTION;
    unsigned long long ull = 0;
    for (; *psz != '\0'; ++psz) {
        if (*psz < '0' || *psz > '9')
            return DISP_E_EXCEPTION;
        ull = ull * 10 + static_cast<unsigned>(*psz - '0');
        if (ull > 0xFFFFFFFFull)
            return DISP_E_EXCEPTION;
    }
    *pdw = static_cast<DWORD>(ull);
    return S_OK;
}
#endif

// The expanded script text, grown by doubling; freed unless detached.
class CExpandedText
{
public:
    explicit CExpandedText(size_t cb) : m_psz(static_cast<char*>(ModuleAlloc(cb))), m_cb(cb) {}
    ~CExpandedText() { ModuleFree(m_psz); }
    CExpandedText(const CExpandedText&) = delete;
    CExpandedText& operator=(const CExpandedText&) = delete;

    bool IsAllocated() const { return m_psz != nullptr; }

    bool Append(const char* pch, size_t cch)
    {
        if (m_cbUsed + cch > m_cb) {
            size_t cb = m_cb;
            while (m_cbUsed + cch > cb)
                cb *= 2;
            char* psz = static_cast<char*>(ModuleRealloc(m_psz, cb));
            if (!psz)
                return false;
            m_psz = psz;
            m_cb = cb;
        }
        std::memcpy(m_psz + m_cbUsed, pch, cch);
        m_cbUsed += cch;
        return true;
    }

    char* Detach()
    {
        char* psz = m_psz;
        m_psz = nullptr;
        return psz;
    }

private:
    char* m_psz;
    size_t m_cb;
    size_t m_cbUsed = 0;
};
}

#ifdef _WIN32

namespace
{
[[nodiscard]] HRESULT LastErrorResult()
{
    DWORD dwError = GetLastError();
    return dwError ? HRESULT_FROM_WIN32(dwError) : E_FAIL;
}
}

HRESULT CScriptInterpreter::RunFromResource(const OLECHAR* pwzModule, UINT nId, const char* pszType, bool fRegister)
{
    CModuleMemory<char> pszModule(CCodePage::DupMultiByte(pwzModule));
    if (!pszModule.Get())
        return E_OUTOFMEMORY;
    CScopedLibrary module(pszModule.Get(), LOAD_LIBRARY_AS_DATAFILE);
    if (!module.Get())
        return LastErrorResult();
    return RunResourceOf(module.Get(), nId, pszType, fRegister);
}

// The resource is read within its size only: it need not end in a NUL of its own.
HRESULT CScriptInterpreter::RunResourceOf(HMODULE hModule, UINT nId, const char* pszType, bool fRegister)
{
    HRSRC hResource = FindResourceA(hModule, MAKEINTRESOURCEA(nId), pszType);
    if (!hResource)
        return LastErrorResult();
    HGLOBAL hData = LoadResource(hModule, hResource);
    if (!hData)
        return LastErrorResult();
    const char* pchText = static_cast<const char*>(LockResource(hData));
    if (!pchText)
        return E_FAIL;
    return RunText(pchText, SizeofResource(hModule, hResource), fRegister);
}

#endif

HRESULT CScriptInterpreter::RunText(const char* pchText, size_t cchText, bool fRegister)
{
    char* pszExpanded = nullptr;
    RETURN_IF_FAILED(ExpandReplacements(pchText, cchText, &pszExpanded));
    CModuleMemory<char> expanded(pszExpanded);
    m_pch = expanded.Get();
    m_cDepth = 0;
    const HRESULT hr = RunRootBlocks(fRegister);
    m_pch = nullptr;
    return hr;
}

HRESULT CScriptInterpreter::ExpandReplacements(const char* pchText, size_t cchText, char** ppszExpanded) const
{
    *ppszExpanded = nullptr;
    const char* pchNul = static_cast<const char*>(std::memchr(pchText, '\0', cchText));
    const char* pchEnd = pchNul ? pchNul : pchText + cchText;
    CExpandedText text(2 * static_cast<size_t>(pchEnd - pchText) + 1);
    if (!text.IsAllocated())
        return E_OUTOFMEMORY;

    const char* pch = pchText;
    while (pch < pchEnd) {
        const char* pchPercent = FindPercent(pch, pchEnd);
        if (!text.Append(pch, static_cast<size_t>(pchPercent - pch)))
            return E_OUTOFMEMORY;
        if (pchPercent == pchEnd)
            break;
        const char* pchName = pchPercent + 1;
        const char* pchClose = FindPercent(pchName, pchEnd);
        if (pchClose == pchEnd)
            return DISP_E_EXCEPTION;
        size_t cchName = static_cast<size_t>(pchClose - pchName);
        if (cchName == 0) {
            if (!text.Append("%", 1))
                return E_OUTOFMEMORY;
        } else {
            if (cchName >= kcbReplacementName)
                return E_FAIL;
            char szName[kcbReplacementName];
            std::memcpy(szName, pchName, cchName);
            szName[cchName] = '\0';
            const OLECHAR* pwzValue = m_replacements.Find(szName);
            if (!pwzValue)
                return DISP_E_EXCEPTION;
            CModuleMemory<char> pszValue(CCodePage::DupMultiByte(pwzValue));
            if (!pszValue.Get() || !text.Append(pszValue.Get(), std::strlen(pszValue.Get())))
                return E_OUTOFMEMORY;
        }
        pch = pchClose + 1;
    }
    if (!text.Append("", 1))
        return E_OUTOFMEMORY;
    *ppszExpanded = text.Detach();
    return S_OK;
}

HRESULT CScriptInterpreter::RunRootBlocks(bool fRegister)
{
    char szToken[kcbToken];
    while (*m_pch != '\0') {
        RETURN_IF_FAILED(ReadToken(szToken));
        const eRootKey eRoot = CRegistryStore::RootKeyFromName(szToken);
        if (eRoot == eRootNone)
            return DISP_E_EXCEPTION;
        RETURN_IF_FAILED(ReadToken(szToken));
        if (szToken[0] != '{')
            return DISP_E_EXCEPTION;

        HSTOREKEY hRoot = m_store.RootKey(eRoot);
        const char* pchBlock = m_pch;
        const HRESULT hr = ProcessBlock(szToken, hRoot, fRegister, false);
        if (FAILED(hr)) {
            // Undo what the failed register pass of this root block may have written.
            if (fRegister) {
                m_pch = pchBlock;
                (void)ProcessBlock(szToken, hRoot, false, false);
            }
            return hr;
        }
        SkipSpace();
    }
    return S_OK;
}

// Appends the character at the current position to the token and steps past it.
void CScriptInterpreter::CopyChar(char* pszToken, size_t* pcb, size_t cch)
{
    pszToken[(*pcb)++] = *m_pch++;
    if (cch == 2)
        pszToken[(*pcb)++] = *m_pch++;
}

void CScriptInterpreter::SkipSpace()
{
    while (IsSpace(*m_pch))
        ++m_pch;
}

// Every write leaves room for the NUL, so no token runs past its buffer: a quoted token
// also keeps room for one more double-byte character, an unquoted one just fits. The token
// read so far is terminated also when reading fails.
HRESULT CScriptInterpreter::ReadToken(char* pszToken, size_t cbToken)
{
    SkipSpace();
    size_t cb = 0;
    HRESULT hr = DISP_E_EXCEPTION;
    if (*m_pch == '\'')
        hr = ReadQuotedToken(pszToken, cbToken, &cb);
    else if (*m_pch != '\0')
        hr = ReadPlainToken(pszToken, cbToken, &cb);
    pszToken[cb] = '\0';
    return hr;
}

HRESULT CScriptInterpreter::ReadQuotedToken(char* pszToken, size_t cbToken, size_t* pcb)
{
    ++m_pch;
    for (;;) {
        if (*m_pch == '\0')
            return DISP_E_EXCEPTION;
        if (*m_pch == '\'') {
            if (m_pch[1] != '\'') {
                ++m_pch;
                return S_OK;
            }
            ++m_pch; // a doubled quote stands for the one that follows
        }
        if (*pcb >= cbToken - 2)
            return DISP_E_EXCEPTION;
        CopyChar(pszToken, pcb, CCodePage::CharLength(m_pch));
    }
}

HRESULT CScriptInterpreter::ReadPlainToken(char* pszToken, size_t cbToken, size_t* pcb)
{
    while (*m_pch != '\0' && !IsSpace(*m_pch)) {
        const size_t cch = CCodePage::CharLength(m_pch);
        if (*pcb + cch >= cbToken)
            return DISP_E_EXCEPTION;
        CopyChar(pszToken, pcb, cch);
    }
    return S_OK;
}

HRESULT CScriptInterpreter::ProcessBlock(char* pszToken, HSTOREKEY hParent, bool fRegister, bool fRecover)
{
    if (m_cDepth == kcMaxDepth)
        return DISP_E_EXCEPTION;
    ++m_cDepth;
    Block block(m_store, hParent, fRecover);
    HRESULT hr = ProcessEntries(pszToken, block, fRegister);
    --m_cDepth;
    return hr;
}

HRESULT CScriptInterpreter::ProcessEntries(char* pszToken, Block& block, bool fRegister)
{
    RETURN_IF_FAILED(ReadToken(pszToken));
    while (pszToken[0] != '}') {
        const bool fForceRemove = CCodePage::EqualNoCase(pszToken, "ForceRemove");
        const bool fDeleteOnly = CCodePage::EqualNoCase(pszToken, "Delete");
        if (fForceRemove || fDeleteOnly)
            RETURN_IF_FAILED(ReadToken(pszToken));
        if (CCodePage::EqualNoCase(pszToken, "NoRemove")) {
            block.fDelete = false;
            RETURN_IF_FAILED(ReadToken(pszToken));
        }
        RETURN_IF_FAILED(ProcessEntry(pszToken, block, fRegister, fForceRemove, fDeleteOnly));
    }
    return S_OK;
}

HRESULT CScriptInterpreter::ProcessEntry(char* pszToken, Block& block, bool fRegister, bool fForceRemove,
                                         bool fDeleteOnly)
{
    if (CCodePage::EqualNoCase(pszToken, "Val"))
        return ProcessValueEntry(pszToken, block, fRegister);
    if (!IsSingleKeyName(pszToken))
        return DISP_E_EXCEPTION;
    if (fRegister)
        return RegisterKeyEntry(pszToken, block, fForceRemove, fDeleteOnly);
    return UnregisterKeyEntry(pszToken, block, fForceRemove);
}

HRESULT CScriptInterpreter::ProcessValueEntry(char* pszToken, Block& block, bool fRegister)
{
    char szValueName[kcbValueName];
    RETURN_IF_FAILED(ReadToken(szValueName, sizeof(szValueName)));
    RETURN_IF_FAILED(ReadToken(pszToken));
    if (pszToken[0] != '=')
        return DISP_E_EXCEPTION;

    if (fRegister) {
        RETURN_IF_FAILED(WriteValue(block.hParent, szValueName, pszToken));
        // A value holds no keys: a block after it is a script error.
        return IsBlockStart(pszToken) ? DISP_E_EXCEPTION : S_OK;
    }
    if (!block.fRecover)
        m_store.DeleteValue(block.hParent, szValueName);
    return SkipValueClause(pszToken);
}

HRESULT CScriptInterpreter::RegisterKeyEntry(char* pszToken, Block& block, bool fForceRemove, bool fDeleteOnly)
{
    if ((fForceRemove || fDeleteOnly) && !IsProtectedName(pszToken))
        m_store.DeleteKeyTree(block.hParent, pszToken);
    if (fDeleteOnly) {
        RETURN_IF_FAILED(ReadToken(pszToken));
        RETURN_IF_FAILED(SkipValueClause(pszToken));
        // A deleted key is not made again, so it cannot hold a block.
        return IsBlockStart(pszToken) ? DISP_E_EXCEPTION : S_OK;
    }

    HSTOREKEY hKey = nullptr;
    RETURN_IF_FAILED(OpenOrCreateKey(block.hParent, pszToken, &hKey));
    block.key.Reset(hKey);
    RETURN_IF_FAILED(ReadToken(pszToken));
    if (pszToken[0] == '=')
        RETURN_IF_FAILED(WriteValue(block.key.Get(), nullptr, pszToken));
    if (!IsBlockStart(pszToken))
        return S_OK;
    RETURN_IF_FAILED(ProcessBlock(pszToken, block.key.Get(), true, false));
    return ReadToken(pszToken);
}

// Keys are removed bottom-up, each only once it has no subkeys left. A key the script
// marks ForceRemove that still has subkeys (left there by others) goes with its whole tree,
// unless its name is protected or NoRemove cleared the delete flag of its block.
HRESULT CScriptInterpreter::UnregisterKeyEntry(char* pszToken, Block& block, bool fForceRemove)
{
    char szName[CRegistryStore::kcbKeyName];
    bool fNameFits = std::strlen(pszToken) < sizeof(szName);
    if (fNameFits)
        std::strcpy(szName, pszToken);
    if (!block.fRecover) {
        HSTOREKEY hKey = fNameFits ? OpenKeyToRemove(block.hParent, szName) : nullptr;
        if (hKey)
            block.key.Reset(hKey);
        else
            block.fRecover = true;
    }

    // The value clause and the block are read whatever the store holds, so that the token
    // after them always starts the next entry.
    RETURN_IF_FAILED(ReadToken(pszToken));
    RETURN_IF_FAILED(SkipValueClause(pszToken));
    const bool fHasBlock = IsBlockStart(pszToken);
    if (fHasBlock) {
        RETURN_IF_FAILED(ProcessBlock(pszToken, block.fRecover ? nullptr : block.key.Get(), false, block.fRecover));
        RETURN_IF_FAILED(ReadToken(pszToken));
    }

    if (block.fRecover) {
        if (fHasBlock)
            block.fRecover = block.fRecoverOnEntry;
        return S_OK;
    }
    if (m_store.KeyHasSubkeys(block.key.Get())) {
        if (!fForceRemove || !block.fDelete || IsProtectedName(szName))
            return S_OK;
        if (block.key.Close() != 0)
            return DISP_E_EXCEPTION;
        m_store.DeleteKeyTree(block.hParent, szName);
        return S_OK;
    }
    if (block.key.Close() != 0)
        return DISP_E_EXCEPTION;
    if (block.fDelete)
        m_store.DeleteKey(block.hParent, szName);
    return S_OK;
}

HRESULT CScriptInterpreter::WriteValue(HSTOREKEY hKey, const char* pszValueName, char* pszToken)
{
    char szType[kcbToken];
    RETURN_IF_FAILED(ReadToken(szType));
    eValueType eType = eValueString;
    if (!ValueTypeFromName(szType, &eType))
        return DISP_E_EXCEPTION;
    SkipSpace();
    char szValue[kcbToken];
    RETURN_IF_FAILED(ReadToken(szValue));
    RETURN_IF_FAILED(StoreValue(hKey, pszValueName, eType, szValue));
    return ReadToken(pszToken);
}

// The store's own result is not checked: a value that cannot be written (under a key
// that could only be opened for reading) does not stop the pass.
HRESULT CScriptInterpreter::StoreValue(HSTOREKEY hKey, const char* pszValueName, eValueType eType, const char* pszValue)
{
    size_t cch = std::strlen(pszValue);
    switch (eType) {
    case eValueString:
        m_store.SetValue(hKey, pszValueName, eType, reinterpret_cast<const BYTE*>(pszValue),
                         static_cast<DWORD>(cch + 1));
        return S_OK;
    case eValueNumber: {
        DWORD dw = 0;
        RETURN_IF_FAILED(NumberFromText(pszValue, &dw));
        const BYTE abNumber[4] = {static_cast<BYTE>(dw), static_cast<BYTE>(dw >> 8), static_cast<BYTE>(dw >> 16),
                                  static_cast<BYTE>(dw >> 24)};
        m_store.SetValue(hKey, pszValueName, eType, abNumber, sizeof(abNumber));
        return S_OK;
    }
    case eValueBinary: {
        if (cch % 2 != 0)
            return E_FAIL;
        BYTE abData[kcbToken / 2];
        for (size_t i = 0; i < cch; i += 2)
            abData[i / 2] = static_cast<BYTE>(HexNibble(pszValue[i]) << 4 | HexNibble(pszValue[i + 1]));
        m_store.SetValue(hKey, pszValueName, eType, abData, static_cast<DWORD>(cch / 2));
        return S_OK;
    }
    }
    return DISP_E_EXCEPTION;
}

HRESULT CScriptInterpreter::SkipValueClause(char* pszToken)
{
    if (pszToken[0] != '=')
        return S_OK;
    RETURN_IF_FAILED(ReadToken(pszToken));
    SkipSpace();
    char szValue[kcbToken];
    RETURN_IF_FAILED(ReadToken(szValue));
    return ReadToken(pszToken);
}

// Full access where allowed; a key that can only be read is used as it is.
HRESULT CScriptInterpreter::OpenOrCreateKey(HSTOREKEY hParent, const char* pszName, HSTOREKEY* phKey)
{
    if (m_store.OpenKey(hParent, pszName, eAccessFull, phKey) == 0)
        return S_OK;
    if (m_store.OpenKey(hParent, pszName, eAccessRead, phKey) == 0)
        return S_OK;
    if (m_store.CreateKey(hParent, pszName, phKey) == 0)
        return S_OK;
    return DISP_E_EXCEPTION;
}

// Write access lets the unregister pass delete the key's named values; a key that can only
// be read is still walked, and deleted when it ends up without subkeys.
HSTOREKEY CScriptInterpreter::OpenKeyToRemove(HSTOREKEY hParent, const char* pszName)
{
    HSTOREKEY hKey = nullptr;
    if (m_store.OpenKey(hParent, pszName, eAccessReadWrite, &hKey) == 0)
        return hKey;
    if (m_store.OpenKey(hParent, pszName, eAccessRead, &hKey) == 0)
        return hKey;
    return nullptr;
}
