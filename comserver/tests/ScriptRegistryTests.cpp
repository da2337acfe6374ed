// The registry script interpreter against the real registry, under a test key of the
// current user, and run from a library's resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "CScriptInterpreter.h"
#include "CWindowsRegistryStore.h"

namespace
{
const std::string s_strTestKey = "Software\\VeltrixScriptTest";

bool KeyExists(const std::string& strPath)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

// "type:bytes" of a value of the test key, or "" when it is missing.
std::string ReadValue(const char* pszValue)
{
    char ab[256];
    DWORD cb = sizeof(ab), dwType = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, s_strTestKey.c_str(), pszValue, RRF_RT_ANY, &dwType, ab, &cb) != ERROR_SUCCESS)
        return "";
    return std::to_string(dwType) + ":" + std::string(ab, cb);
}

class ScriptRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, s_strTestKey.c_str()); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, s_strTestKey.c_str()); }

    CWindowsRegistryStore m_store;
    CScriptReplacements m_replacements;
    CScriptInterpreter m_interpreter{m_store, m_replacements};
};
}

// A register and an unregister pass of a script that a library carries as a resource.
TEST_F(ScriptRegistryTest, RunsAScriptFromALibraryResourceAndForceRemovesItsKeyWithForeignSubkeys)
{
    wchar_t wszPath[MAX_PATH];
    std::wstring strLibrary(wszPath, GetModuleFileNameW(nullptr, wszPath, MAX_PATH));
    strLibrary = strLibrary.substr(0, strLibrary.rfind(L'\\') + 1) + L"script_test_resources.dll";
    HMODULE hLibrary = LoadLibraryExW(strLibrary.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hLibrary, nullptr);
    HRSRC hResource = FindResourceA(hLibrary, MAKEINTRESOURCEA(101), "REGISTRY");
    ASSERT_NE(hResource, nullptr);
    const char* pchScript = static_cast<const char*>(LockResource(LoadResource(hLibrary, hResource)));
    EXPECT_NE(pchScript[SizeofResource(hLibrary, hResource)], '\0') << "the script should not be followed by a NUL";
    FreeLibrary(hLibrary);

    ASSERT_EQ(m_replacements.Add(L"Module", L"C:\\it''s\\x.dll"), S_OK);
    ASSERT_EQ(m_interpreter.RunFromResource(strLibrary.c_str(), 101, "REGISTRY", true), S_OK);
    EXPECT_EQ(ReadValue(nullptr), std::string("1:C:\\it's\\x.dll", 16));
    EXPECT_EQ(ReadValue("Flag"), std::string("4:\x07\0\0\0", 6));
    EXPECT_EQ(ReadValue("Data"), "3:\x0A\xFF");
    EXPECT_FALSE(KeyExists("Software\\VeltrixScriptTrailer"));

    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (s_strTestKey + "\\Foreign\\Deeper").c_str(), &hKey), ERROR_SUCCESS);
    RegCloseKey(hKey);
    ASSERT_EQ(m_interpreter.RunFromResource(strLibrary.c_str(), 101, "REGISTRY", false), S_OK);
    EXPECT_FALSE(KeyExists(s_strTestKey));

    EXPECT_EQ(m_interpreter.RunFromResource(strLibrary.c_str(), 999, "REGISTRY", true),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    HRESULT hr = m_interpreter.RunFromResource(L"C:\\no\\such\\library.dll", 101, "REGISTRY", true);
    EXPECT_TRUE(FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32) << std::hex << hr;
}
