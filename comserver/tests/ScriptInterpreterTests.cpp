// The registry script interpreter against the in-memory store: each case runs script text
// through a pass and asserts on the store as a whole (CMemoryRegistryStore::Dump).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CCodePage.h"
#include "CMemoryRegistryStore.h"
#include "CScriptInterpreter.h"

// The module allocator of these tests, which can be told to fail.
static bool s_fFailAlloc, s_fFailRealloc;
void* ModuleAlloc(size_t cb)
{
    return s_fFailAlloc ? nullptr : std::malloc(cb ? cb : 1);
}
void* ModuleRealloc(void* pv, size_t cb)
{
    return s_fFailRealloc ? nullptr : std::realloc(pv, cb ? cb : 1);
}
void ModuleFree(void* pv)
{
    std::free(pv);
}

namespace
{
struct Case
{
    std::string strScript;
    HRESULT hr;
    std::string strRegistered;        // the store after the register pass
    std::string strUnregistered = ""; // after the unregister pass, run when the first succeeded
    const char* pszBefore = "";       // registered into the store before the register pass
    const char* pszBetween = "";      // registered between the passes
};

// Fails every close of a key that is not a root, after closing it.
class CFailingCloseStore : public CMemoryRegistryStore
{
public:
    LONG CloseKey(HSTOREKEY hKey) override
    {
        LONG lStatus = CMemoryRegistryStore::CloseKey(hKey);
        return hKey == RootKey(eRootCurrentUser) ? lStatus : ERROR_ACCESS_DENIED;
    }
};

class ScriptTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_replacements.Add(u"Module", u"C:\\it''s dir\\x.dll"), S_OK);
        ASSERT_EQ(m_replacements.Add(u"Long", std::u16string(4000, u'v').c_str()), S_OK);
        ASSERT_EQ(m_replacements.Add(u"N234567890123456789012345678901", u"31"), S_OK);
        ASSERT_EQ(m_replacements.Add(u"N2345678901234567890123456789012", u"32"), S_OK);
        ASSERT_EQ(m_replacements.Add(u"M", u"\x815C"), S_OK);
        // More pairs than the map first makes room for.
        for (char16_t ch = u'a'; ch <= u'z'; ++ch)
            ASSERT_EQ(m_replacements.Add(std::u16string(2, ch).c_str(), std::u16string(1, ch).c_str()), S_OK);
    }
    void TearDown() override
    {
        CCodePage::UseDoubleByteTable(false);
        s_fFailAlloc = s_fFailRealloc = false;
    }

    HRESULT Run(CMemoryRegistryStore& store, const std::string& strScript, bool fRegister)
    {
        CScriptInterpreter interpreter(store, m_replacements);
        HRESULT hr = interpreter.RunText(strScript.data(), strScript.size(), fRegister);
        EXPECT_EQ(store.OpenHandleCount(), 0u) << "a key was left open";
        return hr;
    }

    void Check(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            CMemoryRegistryStore store;
            ASSERT_EQ(Run(store, c.pszBefore, true), S_OK);
            EXPECT_EQ(Run(store, c.strScript, true), c.hr) << c.strScript;
            EXPECT_EQ(store.Dump(), c.strRegistered) << c.strScript;
            if (FAILED(c.hr))
                continue;
            ASSERT_EQ(Run(store, c.pszBetween, true), S_OK);
            EXPECT_EQ(Run(store, c.strScript, false), S_OK) << c.strScript;
            EXPECT_EQ(store.Dump(), c.strUnregistered) << c.strScript;
        }
    }

    CScriptReplacements m_replacements;
};
}

TEST_F(ScriptTest, GrammarValuesAndReplacements)
{
    const std::string str4095(4095, 'a');
    Check({
        {"", S_OK, ""},
        {" \t\r\n", DISP_E_EXCEPTION, ""},
        {"hkcr { } HKEY_LOCAL_MACHINE { } HKU\n{\n}", S_OK, ""},
        {"HKXX { }", DISP_E_EXCEPTION, ""},
        {"HKCU A { }", DISP_E_EXCEPTION, ""},
        {"HKCU { A", DISP_E_EXCEPTION, "HKCU\\A\n"},
        {"HKCU { A = s 'it''s' { B = S '' } }", S_OK, "HKCU\\A @=s:it's\nHKCU\\A\\B @=s:\n"},
        {"HKCU { 'a b' 'x}' }", S_OK, "HKCU\\a b\nHKCU\\x}\n"},
        // A name, "=" and a type letter without blanks are one token; the value text is then
        // the next key's name.
        {"HKCU { A=s 'x' }", S_OK, "HKCU\\A=s\nHKCU\\x\n"},
        // Only a lone "{" opens a block: a key named like a GUID can follow a key without one.
        {"HKCU { A {B} }", S_OK, "HKCU\\A\nHKCU\\{B}\n"},
        {"HKCU { VAL N = s x }", S_OK, "HKCU N=s:x\n"},
        {"HKCU { FORCEREMOVE A delete B }", S_OK, "HKCU\\A\n"},
        {"HKCU { A = s 'x }", DISP_E_EXCEPTION, "HKCU\\A\n"},
        {"HKCU { A = q x }", DISP_E_EXCEPTION, ""},
        {"HKCU { A = s", DISP_E_EXCEPTION, "HKCU\\A\n"},
        {"HKCU { val N s x }", DISP_E_EXCEPTION, ""},
        {"HKCU { A\\B }", DISP_E_EXCEPTION, ""},
        {"HKCU { ForceRemove A\\B }", DISP_E_EXCEPTION, ""},
        {"HKCU { '' }", DISP_E_EXCEPTION, ""},
        // A block after a deleted key or after a value is refused, and the pass rolled back.
        {"HKCU { K Delete A { B } }", DISP_E_EXCEPTION, ""},
        {"HKCU { K val N = s x { B } }", DISP_E_EXCEPTION, ""},
        // Tokens and names stay within their buffers.
        {"HKCU { val N = s " + str4095 + " }", S_OK, "HKCU N=s:" + str4095 + "\n"},
        {"HKCU { val N = s " + str4095 + "a }", DISP_E_EXCEPTION, ""},
        {"HKCU { val N = s '" + str4095.substr(1) + "' }", S_OK, "HKCU N=s:" + str4095.substr(1) + "\n"},
        {"HKCU { val N = s '" + str4095 + "' }", DISP_E_EXCEPTION, ""},
        {"HKCU { val " + std::string(259, 'n') + " = s x }", S_OK, "HKCU " + std::string(259, 'n') + "=s:x\n"},
        {"HKCU { val " + std::string(260, 'n') + " = s x }", DISP_E_EXCEPTION, ""},
        {"HKCU { val '" + std::string(300, 'n') + "' = s x }", DISP_E_EXCEPTION, ""},
        // Replacement names are case-insensitive and up to 31 bytes; the expanded text may
        // outgrow its first allocation.
        {"HKCU { A = s '%module%' { '100%%' } B = s %N234567890123456789012345678901% }", S_OK,
         "HKCU\\A @=s:C:\\it's dir\\x.dll\nHKCU\\A\\100%\nHKCU\\B @=s:31\n"},
        {"HKCU { val L = s %LONG% val Z = s %zz% }", S_OK, "HKCU L=s:" + std::string(4000, 'v') + " Z=s:z\n"},
        {"HKCU { A = s '%N2345678901234567890123456789012%' }", E_FAIL, ""},
        {"HKCU { A = s '%Unknown%' }", DISP_E_EXCEPTION, ""},
        {"HKCU { } %", DISP_E_EXCEPTION, ""},
        // Binary text is hex pairs (a non-hex digit counts as 0, an odd count fails); a number fits 32 bits.
        {"HKCU { A = b '0aFf' B = B 0g C = b '' D = d 42 E = D '4294967295' }", S_OK,
         "HKCU\\A @=b:0aff\nHKCU\\B @=b:00\nHKCU\\C @=b:\nHKCU\\D @=d:42\nHKCU\\E @=d:4294967295\n"},
        {"HKCU { A = b abc }", E_FAIL, ""},
        {"HKCU { A = d '4294967296' }", DISP_E_EXCEPTION, ""},
        {"HKCU { A = d 12x }", DISP_E_EXCEPTION, ""},
        {"HKCU { A = d '' }", DISP_E_EXCEPTION, ""},
        // With a single-byte code page "\x81" is a character of its own.
        {"HKCU { A = s 'x\x81%y' }", DISP_E_EXCEPTION, ""},
    });
}

TEST_F(ScriptTest, DoubleByteCharactersAreNeverSplit)
{
    CCodePage::UseDoubleByteTable(true);
    // Each character below is a lead byte whose trail byte is "%", "'" or "\".
    Check({{"HKCU { A\x81\\ = s 'x\x81%y\x81'z' { %M% } }", S_OK,
            "HKCU\\A\x81\\ @=s:x\x81%y\x81'z\nHKCU\\A\x81\\\\\x81\\\n"}});
}

TEST_F(ScriptTest, ForceRemoveDeleteNoRemoveAndForeignSubkeys)
{
    Check({
        // In the register pass ForceRemove replaces a key and Delete removes one, but neither
        // touches CLSID or TypeLib; in the unregister pass "Delete" names a key like any other.
        {"HKCU { P { ForceRemove A = s new { N } Delete B = s x forceremove CLSID { N } delete TypeLib } }", S_OK,
         "HKCU\\P\nHKCU\\P\\A @=s:new\nHKCU\\P\\A\\N\nHKCU\\P\\Clsid\nHKCU\\P\\Clsid\\N\nHKCU\\P\\Clsid\\Old\n"
         "HKCU\\P\\TYPELIB\nHKCU\\P\\TYPELIB\\Old\n",
         "HKCU\\P\nHKCU\\P\\Clsid\nHKCU\\P\\Clsid\\Old\nHKCU\\P\\TYPELIB\nHKCU\\P\\TYPELIB\\Old\n",
         "HKCU { P { A { Old } B { Old } Clsid { Old } TYPELIB { Old } } }", "HKCU { P { B } }"},
        // NoRemove keeps every key of its block; values go even where keys stay.
        {"HKCU { noremove A { val V = s x B { val W = s y } } C }", S_OK, "HKCU\\A V=s:x\nHKCU\\A\\B W=s:y\nHKCU\\C\n",
         "HKCU\\A\nHKCU\\C\n"},
        // A key left with subkeys that no script names stays, unless it is force-removed
        // where neither NoRemove nor a protected name keeps it.
        {"HKCU { K = s x }", S_OK, "HKCU\\K @=s:x\n", "HKCU\\K @=s:x\nHKCU\\K\\Foreign\n", "",
         "HKCU { K { Foreign } }"},
        {"HKCU { ForceRemove K = s x }", S_OK, "HKCU\\K @=s:x\n", "", "HKCU { K { F { G H } I } }",
         "HKCU { K { F { G H } I } }"},
        {"HKCU { NoRemove B ForceRemove K }", S_OK, "HKCU\\B\nHKCU\\K\n", "HKCU\\B\nHKCU\\K\nHKCU\\K\\Foreign\n", "",
         "HKCU { K { Foreign } }"},
        {"HKCU { K { ForceRemove CLSID } }", S_OK, "HKCU\\K\nHKCU\\K\\CLSID\n",
         "HKCU\\K\nHKCU\\K\\CLSID\nHKCU\\K\\CLSID\\Foreign\n", "", "HKCU { K { CLSID { Foreign } } }"},
        // Missing "A" has no block: the entries after it are passed over, up to the end of the
        // next block ("B"'s). Missing "G" has one: only that block is passed over.
        {"HKCU { P { A B { val V = s x } C G { X } D { E } } }", S_OK,
         "HKCU\\P\nHKCU\\P\\A\nHKCU\\P\\B V=s:x\nHKCU\\P\\C\nHKCU\\P\\D\nHKCU\\P\\D\\E\nHKCU\\P\\G\nHKCU\\P\\G\\X\n",
         "HKCU\\P\nHKCU\\P\\B V=s:x\n", "", "HKCU { P { Delete A Delete G } }"},
    });
}

TEST_F(ScriptTest, ReadOnlyKeysAndFailedCreationRollBackTheRootBlock)
{
    CMemoryRegistryStore store;
    store.AddKey(eRootCurrentUser, "R", true);
    store.AddKey(eRootCurrentUser, "R\\W");
    store.AddKey(eRootCurrentUser, "K\\Locked", true);
    ASSERT_EQ(Run(store, "HKLM { Kept }", true), S_OK);
    // A key that can only be read is used as it is: its values are not written, but the keys
    // beneath it are. A subtree that cannot be deleted ends ForceRemove's deletion.
    EXPECT_EQ(Run(store, "HKCU { R = s x { W = s y } ForceRemove K }", true), S_OK);
    const std::string strBefore = "HKCU\\K\nHKCU\\K\\Locked\nHKCU\\R\nHKCU\\R\\W @=s:y\nHKLM\\Kept\n";
    EXPECT_EQ(store.Dump(), strBefore);
    // A subkey that cannot be made under it fails the pass, which is undone from its first entry.
    EXPECT_EQ(Run(store, "HKCU { A { B } R = s x { val V = s y Sub } }", true), DISP_E_EXCEPTION);
    EXPECT_EQ(store.Dump(), strBefore);
    store.FailKeyCreation(true);
    EXPECT_EQ(Run(store, "HKCU { R C }", true), DISP_E_EXCEPTION);
    EXPECT_EQ(store.Dump(), strBefore);
}

TEST_F(ScriptTest, DeepNestingOutOfMemoryAndAFailingCloseFailThePass)
{
    // Keys nest no deeper than the registry allows, and the stack is not the limit.
    std::string strNested = "HKCU {";
    for (int i = 0; i < 600; ++i)
        strNested += " K {";
    CMemoryRegistryStore store;
    EXPECT_EQ(Run(store, strNested + std::string(600, '}') + " }", true), DISP_E_EXCEPTION);

    CMemoryRegistryStore empty;
    s_fFailRealloc = true;
    EXPECT_EQ(Run(empty, "HKCU { A = s %Long% }", true), E_OUTOFMEMORY);
    s_fFailAlloc = true;
    EXPECT_EQ(m_replacements.Add(u"Name", u"Value"), E_OUTOFMEMORY);
    EXPECT_EQ(Run(empty, "HKCU { A }", true), E_OUTOFMEMORY);
    EXPECT_EQ(empty.Dump(), "");

    s_fFailAlloc = s_fFailRealloc = false;
    CFailingCloseStore failingClose;
    ASSERT_EQ(Run(failingClose, "HKCU { A }", true), S_OK);
    EXPECT_EQ(Run(failingClose, "HKCU { A }", false), DISP_E_EXCEPTION);
}
