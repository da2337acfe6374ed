// The registry script interpreter against the in-memory store: each test runs script text
// through a pass and asserts on the store as a whole (CMemoryRegistryStore::Dump).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CCodePage.h"
#include "CMemoryRegistryStore.h"
#include "CScriptInterpreter.h"
#include "TestModuleMemory.h"

namespace
{
// The desk band's own registration script (with short GUIDs), the module path a replacement.
const char s_szClassScript[] = R"(HKCR
{
	Veltrix.Deskband.1 = s 'Corvale'
	{
		CLSID = s '{C}'
	}
	NoRemove CLSID
	{
		ForceRemove {C} = s 'Corvale'
		{
			ProgID = s 'Veltrix.Deskband.1'
			VersionIndependentProgID = s 'Veltrix.Deskband'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'TypeLib' = s '{L}'
		}
	}
}
)";

struct ScriptCase
{
    const char* pszScript;
    HRESULT hr;
    const char* pszStore;  // the store after the register pass
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
    void TearDown() override
    {
        CCodePage::UseDoubleByteTable(false);
        FailModuleAllocations(eFailNothing);
    }

    HRESULT Run(const std::string& strScript, bool fRegister, CMemoryRegistryStore& store)
    {
        CScriptInterpreter interpreter(store, m_replacements);
        HRESULT hr = interpreter.RunText(strScript.data(), strScript.size(), fRegister);
        EXPECT_EQ(store.OpenHandleCount(), 0u) << "a key was left open";
        return hr;
    }
    HRESULT Register(const std::string& strScript) { return Run(strScript, true, m_store); }
    HRESULT Unregister(const std::string& strScript) { return Run(strScript, false, m_store); }
    std::string Dump() const { return m_store.Dump(); }

    // Runs each script's register pass, then, where it succeeded, the unregister pass, which
    // must leave nothing behind.
    void RunCases(const ScriptCase* pCases, size_t cCases)
    {
        for (size_t i = 0; i < cCases; ++i) {
            CMemoryRegistryStore store;
            const char* pszScript = pCases[i].pszScript;
            EXPECT_EQ(Run(pszScript, true, store), pCases[i].hr) << pszScript;
            EXPECT_EQ(store.Dump(), pCases[i].pszStore) << pszScript;
            if (SUCCEEDED(pCases[i].hr)) {
                EXPECT_EQ(Run(pszScript, false, store), S_OK) << pszScript;
                EXPECT_EQ(store.Dump(), "") << pszScript;
            }
        }
    }

    CMemoryRegistryStore m_store;
    CScriptReplacements m_replacements;
};

TEST_F(ScriptTest, Grammar)
{
    const ScriptCase aCases[] = {
        {"", S_OK, ""},
        {" \t\r\n", DISP_E_EXCEPTION, ""},
        {"hkcr { }", S_OK, ""},
        {"HKEY_LOCAL_MACHINE { } HKU\n{\n}", S_OK, ""},
        {"HKXX { }", DISP_E_EXCEPTION, ""},
        {"HKCU A { }", DISP_E_EXCEPTION, ""},
        {"HKCU { A", DISP_E_EXCEPTION, "HKCU\\A\n"},
        {"HKCU { A = s 'it''s' { B = S '' } }", S_OK, "HKCU\\A @=s:it's\nHKCU\\A\\B @=s:\n"},
        {"HKCU { 'a b' 'x}' }", S_OK, "HKCU\\a b\nHKCU\\x}\n"},
        // A name, "=" and a type letter without blanks are one token; the value text is then
        // the next key's name.
        {"HKCU { A=s 'x' }", S_OK, "HKCU\\A=s\nHKCU\\x\n"},
        // Only a lone "{" opens a block, in both passes: a key named like a GUID can follow a
        // key without a block.
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
    };
    RunCases(aCases, sizeof(aCases) / sizeof(aCases[0]));
}

TEST_F(ScriptTest, Values)
{
    const ScriptCase aCases[] = {
        {"HKCU { A = b '0aFf' }", S_OK, "HKCU\\A @=b:0aff\n"},
        {"HKCU { A = B 0g }", S_OK, "HKCU\\A @=b:00\n"},
        {"HKCU { A = b '' }", S_OK, "HKCU\\A @=b:\n"},
        {"HKCU { A = b abc }", E_FAIL, ""},
        {"HKCU { A = d 42 }", S_OK, "HKCU\\A @=d:42\n"},
        {"HKCU { A = D '4294967295' }", S_OK, "HKCU\\A @=d:4294967295\n"},
        {"HKCU { A = d '4294967296' }", DISP_E_EXCEPTION, ""},
        {"HKCU { A = d 12x }", DISP_E_EXCEPTION, ""},
        {"HKCU { A = d '' }", DISP_E_EXCEPTION, ""},
    };
    RunCases(aCases, sizeof(aCases) / sizeof(aCases[0]));
}

TEST_F(ScriptTest, TokensAndNamesAreBoundedByTheirBuffers)
{
    auto value = [](std::string strText) { return "HKCU { val N = s " + strText + " }"; };
    std::string str4095(4095, 'a');
    EXPECT_EQ(Register(value(str4095)), S_OK);
    EXPECT_EQ(Dump(), "HKCU N=s:" + str4095 + "\n");
    EXPECT_EQ(Register(value(std::string(4096, 'a'))), DISP_E_EXCEPTION);
    EXPECT_EQ(Register(value("'" + std::string(4094, 'a') + "'")), S_OK);
    EXPECT_EQ(Register(value("'" + std::string(4095, 'a') + "'")), DISP_E_EXCEPTION);

    EXPECT_EQ(Register("HKCU { val " + std::string(259, 'n') + " = s x }"), S_OK);
    EXPECT_EQ(Register("HKCU { val " + std::string(260, 'n') + " = s x }"), DISP_E_EXCEPTION);
    EXPECT_EQ(Register("HKCU { val '" + std::string(300, 'n') + "' = s x }"), DISP_E_EXCEPTION);

    // Keys nest no deeper than the registry allows, and the stack is not the limit.
    std::string strDeep = "HKCU {";
    for (int i = 0; i < 600; ++i) strDeep += " K {";
    EXPECT_EQ(Register(strDeep + std::string(600, '}') + " }"), DISP_E_EXCEPTION);
}

TEST_F(ScriptTest, Replacements)
{
    ASSERT_EQ(m_replacements.Add(u"Module", u"C:\\it''s dir\\x.dll"), S_OK);
    ASSERT_EQ(m_replacements.Add(u"Long", std::u16string(4000, u'v').c_str()), S_OK);
    ASSERT_EQ(m_replacements.Add(u"N234567890123456789012345678901", u"31"), S_OK);
    ASSERT_EQ(m_replacements.Add(u"N2345678901234567890123456789012", u"32"), S_OK);

    EXPECT_EQ(Register("HKCU { A = s '%module%' { '100%%' } B = s %N234567890123456789012345678901% }"), S_OK);
    EXPECT_EQ(Dump(), "HKCU\\A @=s:C:\\it's dir\\x.dll\nHKCU\\A\\100%\nHKCU\\B @=s:31\n");
    // The expanded text outgrows its first allocation.
    EXPECT_EQ(Register("HKCU { val L = s %LONG% }"), S_OK);
    EXPECT_NE(Dump().find("L=s:" + std::string(4000, 'v') + "\n"), std::string::npos);

    EXPECT_EQ(Register("HKCU { A = s '%N2345678901234567890123456789012%' }"), E_FAIL);
    EXPECT_EQ(Register("HKCU { A = s '%Unknown%' }"), DISP_E_EXCEPTION);
    EXPECT_EQ(Register("HKCU { } %"), DISP_E_EXCEPTION);
}

TEST_F(ScriptTest, OutOfMemoryIsReported)
{
    ASSERT_EQ(m_replacements.Add(u"Long", std::u16string(100, u'v').c_str()), S_OK);
    FailModuleAllocations(eFailEveryAllocation);
    EXPECT_EQ(m_replacements.Add(u"Name", u"Value"), E_OUTOFMEMORY);
    EXPECT_EQ(Register("HKCU { A }"), E_OUTOFMEMORY);
    FailModuleAllocations(eFailGrowth);
    EXPECT_EQ(Register("HKCU { A = s %Long% }"), E_OUTOFMEMORY);
    EXPECT_EQ(Dump(), "");
}

TEST_F(ScriptTest, DoubleByteCharactersAreNeverSplit)
{
    CCodePage::UseDoubleByteTable(true);
    // Each character below is a lead byte whose trail byte is "%", "'" or "\".
    ASSERT_EQ(m_replacements.Add(u"M", u"\x815C"), S_OK);
    EXPECT_EQ(Register("HKCU { A\x81\\ = s 'x\x81%y\x81'z' { %M% } }"), S_OK);
    EXPECT_EQ(Dump(), "HKCU\\A\x81\\ @=s:x\x81%y\x81'z\nHKCU\\A\x81\\\\\x81\\\n");
    EXPECT_EQ(Unregister("HKCU { A\x81\\ = s 'x\x81%y\x81'z' { %M% } }"), S_OK);
    EXPECT_EQ(Dump(), "");

    // With a single-byte table the same bytes are a replacement without its closing "%".
    CCodePage::UseDoubleByteTable(false);
    EXPECT_EQ(Register("HKCU { A = s 'x\x81%y' }"), DISP_E_EXCEPTION);
}

TEST_F(ScriptTest, RegisterThenUnregisterTheClassScript)
{
    ASSERT_EQ(m_replacements.Add(u"Module", u"C:\\Veltrix.dll"), S_OK);
    const char szRegistered[] = "HKCR\\CLSID\n"
                                "HKCR\\CLSID\\{C} @=s:Corvale\n"
                                "HKCR\\CLSID\\{C}\\InprocServer32 @=s:C:\\Veltrix.dll ThreadingModel=s:Apartment\n"
                                "HKCR\\CLSID\\{C}\\ProgID @=s:Veltrix.Deskband.1\n"
                                "HKCR\\CLSID\\{C}\\Programmable\n"
                                "HKCR\\CLSID\\{C}\\TypeLib @=s:{L}\n"
                                "HKCR\\CLSID\\{C}\\VersionIndependentProgID @=s:Veltrix.Deskband\n"
                                "HKCR\\Veltrix.Deskband.1 @=s:Corvale\n"
                                "HKCR\\Veltrix.Deskband.1\\CLSID @=s:{C}\n";
    ASSERT_EQ(Register(s_szClassScript), S_OK);
    EXPECT_EQ(Dump(), szRegistered);
    ASSERT_EQ(Register(s_szClassScript), S_OK);
    EXPECT_EQ(Dump(), szRegistered);
    EXPECT_EQ(Unregister(s_szClassScript), S_OK);
    EXPECT_EQ(Dump(), "HKCR\\CLSID\n");

    // The class key goes even when the category manager left subkeys beneath it.
    ASSERT_EQ(Register(s_szClassScript), S_OK);
    m_store.AddKey(eRootClassesRoot, "CLSID\\{C}\\Implemented Categories\\{X}");
    EXPECT_EQ(Unregister(s_szClassScript), S_OK);
    EXPECT_EQ(Dump(), "HKCR\\CLSID\n");
}

TEST_F(ScriptTest, UnregisterKeepsKeysWithForeignSubkeysUnlessForceRemoved)
{
    // Before the unregister pass, "K" (or its "CLSID") gets a subkey that no script names.
    const struct
    {
        const char* pszScript;
        const char* pszStore;
    } aCases[] = {
        {"HKCU { K = s x }", "HKCU\\K @=s:x\nHKCU\\K\\Foreign\n"},
        {"HKCU { ForceRemove K = s x }", ""},
        {"HKCU { NoRemove B ForceRemove K }", "HKCU\\B\nHKCU\\K\nHKCU\\K\\Foreign\n"},
        {"HKCU { K { ForceRemove CLSID } }", "HKCU\\K\nHKCU\\K\\CLSID\nHKCU\\K\\CLSID\\Foreign\n"},
    };
    for (const auto& c : aCases) {
        CMemoryRegistryStore store;
        ASSERT_EQ(Run(c.pszScript, true, store), S_OK);
        store.AddKey(eRootCurrentUser, std::strstr(c.pszScript, "CLSID") ? "K\\CLSID\\Foreign" : "K\\Foreign");
        EXPECT_EQ(Run(c.pszScript, false, store), S_OK);
        EXPECT_EQ(store.Dump(), c.pszStore) << c.pszScript;
    }
}

TEST_F(ScriptTest, ForceRemoveAndDeleteInTheRegisterPass)
{
    m_store.AddKey(eRootCurrentUser, "P\\A\\Old");
    m_store.AddKey(eRootCurrentUser, "P\\B\\Old");
    m_store.AddKey(eRootCurrentUser, "P\\Clsid\\Old");
    m_store.AddKey(eRootCurrentUser, "P\\TYPELIB\\Old");
    const char szScript[] = "HKCU { P { ForceRemove A = s new { N } Delete B = s x "
                            "forceremove CLSID { N } delete TypeLib } }";
    ASSERT_EQ(Register(szScript), S_OK);
    EXPECT_EQ(Dump(),
              "HKCU\\P\nHKCU\\P\\A @=s:new\nHKCU\\P\\A\\N\nHKCU\\P\\Clsid\nHKCU\\P\\Clsid\\N\nHKCU\\P\\Clsid\\Old\n"
              "HKCU\\P\\TYPELIB\nHKCU\\P\\TYPELIB\\Old\n");

    // In the unregister pass "Delete" names a key like any other.
    m_store.AddKey(eRootCurrentUser, "P\\B");
    ASSERT_EQ(Unregister(szScript), S_OK);
    EXPECT_EQ(Dump(), "HKCU\\P\nHKCU\\P\\Clsid\nHKCU\\P\\Clsid\\Old\nHKCU\\P\\TYPELIB\nHKCU\\P\\TYPELIB\\Old\n");
}

TEST_F(ScriptTest, NoRemoveKeepsEveryKeyOfItsBlock)
{
    const char szScript[] = "HKCU { noremove A { val V = s x B { val W = s y } } C }";
    ASSERT_EQ(Register(szScript), S_OK);
    EXPECT_EQ(Unregister(szScript), S_OK);
    // Values go even where keys stay.
    EXPECT_EQ(Dump(), "HKCU\\A\nHKCU\\C\n");
}

TEST_F(ScriptTest, UnregisterPassesOverWhatIsMissing)
{
    const char szScript[] = "HKCU { P { A B { val V = s x } C G { X } D { E } } }";
    ASSERT_EQ(Register(szScript), S_OK);
    ASSERT_EQ(Register("HKCU { P { Delete A Delete G } }"), S_OK);
    // Missing "A" has no block: the entries after it are passed over, up to the end of the
    // next block ("B"'s). Missing "G" has one: only that block is passed over.
    EXPECT_EQ(Unregister(szScript), S_OK);
    EXPECT_EQ(Dump(), "HKCU\\P\nHKCU\\P\\B V=s:x\n");
}

TEST_F(ScriptTest, ReadOnlyKeysAndFailedCreationRollBackTheRootBlock)
{
    m_store.AddKey(eRootCurrentUser, "R", true);
    ASSERT_EQ(Register("HKLM { Kept }"), S_OK);
    // A key that can only be read is used as it is: its values are not written, and a
    // subkey that cannot be made under it fails the pass, which is undone from its first entry.
    EXPECT_EQ(Register("HKCU { A { B } R = s x { val V = s y Sub } }"), DISP_E_EXCEPTION);
    EXPECT_EQ(Dump(), "HKCU\\R\nHKLM\\Kept\n");

    m_store.FailKeyCreation(true);
    EXPECT_EQ(Register("HKCU { R C }"), DISP_E_EXCEPTION);
    EXPECT_EQ(Dump(), "HKCU\\R\nHKLM\\Kept\n");
}

TEST_F(ScriptTest, FailingCloseFailsTheUnregisterPass)
{
    CFailingCloseStore store;
    ASSERT_EQ(Run("HKCU { A }", true, store), S_OK);
    EXPECT_EQ(Run("HKCU { A }", false, store), DISP_E_EXCEPTION);
}
}
