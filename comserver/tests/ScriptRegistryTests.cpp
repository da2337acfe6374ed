// The registry script interpreter against the real registry, under a test key of the
// current user, and run from a library's resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "CScriptInterpreter.h"
#include "CWindowsRegistryStore.h"

namespace
{
const char s_szTestKey[] = "Software\\VeltrixScriptTest";

std::string TestPath(const char* pszSubkey) { return *pszSubkey ? std::string(s_szTestKey) + "\\" + pszSubkey : s_szTestKey; }

bool KeyExists(const std::string& strPath)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
    RegCloseKey(hKey);
    return true;
}

// The value's type and bytes, or an empty string when it is missing.
std::string ReadValue(const char* pszSubkey, const char* pszValue, DWORD* pdwType)
{
    char ab[256];
    DWORD cb = sizeof(ab);
    if (RegGetValueA(HKEY_CURRENT_USER, TestPath(pszSubkey).c_str(), pszValue, RRF_RT_ANY, pdwType, ab, &cb) != ERROR_SUCCESS)
        return std::string();
    return std::string(ab, cb);
}

std::wstring ResourceLibraryPath()
{
    wchar_t wszPath[MAX_PATH];
    DWORD cch = GetModuleFileNameW(nullptr, wszPath, MAX_PATH);
    std::wstring strPath(wszPath, cch);
    return strPath.substr(0, strPath.rfind(L'\\') + 1) + L"script_test_resources.dll";
}

class ScriptRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, s_szTestKey); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, s_szTestKey); }

    HRESULT Run(const char* pszScript, bool fRegister)
    {
        CScriptInterpreter interpreter(m_store, m_replacements);
        return interpreter.RunText(pszScript, std::strlen(pszScript), fRegister);
    }

    CWindowsRegistryStore m_store;
    CScriptReplacements m_replacements;
};

TEST_F(ScriptRegistryTest, RegistersAndUnregistersUnderTheCurrentUser)
{
    const char szScript[] = "HKCU\r\n{\r\n NoRemove Software\r\n {\r\n  NoRemove VeltrixScriptTest\r\n  {\r\n"
                            "   Sub = s 'it''s'\r\n   {\r\n    val Count = d '42'\r\n    val Data = b '0AFF'\r\n   }\r\n"
                            "   val Top = s 'y'\r\n  }\r\n }\r\n}\r\n";
    ASSERT_EQ(Run(szScript, true), S_OK);
    DWORD dwType = 0;
    EXPECT_EQ(ReadValue("Sub", nullptr, &dwType), std::string("it's", 5));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ReadValue("Sub", "Count", &dwType), std::string("\x2A\0\0\0", 4));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(ReadValue("Sub", "Data", &dwType), "\x0A\xFF");
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(ReadValue("", "Top", &dwType), std::string("y", 2));

    ASSERT_EQ(Run(szScript, false), S_OK);
    EXPECT_TRUE(KeyExists(s_szTestKey));
    EXPECT_FALSE(KeyExists(TestPath("Sub")));
    EXPECT_EQ(ReadValue("", "Top", &dwType), "");
}

TEST_F(ScriptRegistryTest, UnregisterRemovesAForceRemovedKeyWithSubkeysOthersAdded)
{
    const char szScript[] = "HKCU { NoRemove Software { ForceRemove VeltrixScriptTest = s x { Sub } } }";
    ASSERT_EQ(Run(szScript, true), S_OK);
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, TestPath("Foreign\\Deeper").c_str(), &hKey), ERROR_SUCCESS);
    RegCloseKey(hKey);

    ASSERT_EQ(Run(szScript, false), S_OK);
    EXPECT_FALSE(KeyExists(s_szTestKey));
}

TEST_F(ScriptRegistryTest, RunsAScriptFromALibraryResource)
{
    std::wstring strLibrary = ResourceLibraryPath();
    HMODULE hLibrary = LoadLibraryExW(strLibrary.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hLibrary, nullptr);
    HRSRC hResource = FindResourceA(hLibrary, MAKEINTRESOURCEA(101), "REGISTRY");
    ASSERT_NE(hResource, nullptr);
    const char* pchScript = static_cast<const char*>(LockResource(LoadResource(hLibrary, hResource)));
    EXPECT_NE(pchScript[SizeofResource(hLibrary, hResource)], '\0') << "the script should not be followed by a NUL";
    FreeLibrary(hLibrary);

    ASSERT_EQ(m_replacements.Add(L"Module", L"C:\\it''s\\x.dll"), S_OK);
    CScriptInterpreter interpreter(m_store, m_replacements);
    ASSERT_EQ(interpreter.RunFromResource(strLibrary.c_str(), 101, "REGISTRY", true), S_OK);
    DWORD dwType = 0;
    EXPECT_EQ(ReadValue("", nullptr, &dwType), std::string("C:\\it's\\x.dll", 14));
    EXPECT_EQ(ReadValue("", "Flag", &dwType), std::string("\x07\0\0\0", 4));
    EXPECT_FALSE(KeyExists("Software\\VeltrixScriptTrailer"));

    ASSERT_EQ(interpreter.RunFromResource(strLibrary.c_str(), 101, "REGISTRY", false), S_OK);
    EXPECT_FALSE(KeyExists(s_szTestKey));

    EXPECT_EQ(interpreter.RunFromResource(strLibrary.c_str(), 999, "REGISTRY", true),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    HRESULT hr = interpreter.RunFromResource(L"C:\\no\\such\\library.dll", 101, "REGISTRY", true);
    EXPECT_TRUE(FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32) << std::hex << hr;
}
}
