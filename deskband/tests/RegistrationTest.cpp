// Registration and automation dispatch, driven as an installer and a scripting client would:
// regsvr32 and the library's exports, with the results read back from the registry.
#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

#include <cstdlib>
#include <string>

#include "CComRef.h"
#include "CVeltrixLibrary.h"

namespace
{
const GUID kLibid = {0xAA5F1712, 0x1151, 0x4CA8, {0x86, 0xA0, 0xA5, 0x2E, 0x61, 0x02, 0xD6, 0xB9}};
const std::string kClassKey = "CLSID\\{CD656E3A-1EB0-45F4-AC0A-971F694D5734}";

std::string BinPath(const char* pszFile)
{
    char szExe[MAX_PATH];
    std::string path(szExe, GetModuleFileNameA(nullptr, szExe, MAX_PATH));
    return path.substr(0, path.rfind('\\') + 1) + pszFile;
}

// A key with its values and their data, then its subkeys, recursively, as text.
void DumpKey(HKEY hParent, const std::string& name, const std::string& path, std::string& out)
{
    HKEY hKey;
    if (RegOpenKeyExA(hParent, name.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    out += "[" + path + "]\n";
    char szName[512];
    BYTE abData[1024];
    for (DWORD i = 0;; ++i) {
        DWORD cchName = sizeof(szName), cbData = sizeof(abData), dwType = 0;
        if (RegEnumValueA(hKey, i, szName, &cchName, nullptr, &dwType, abData, &cbData) != ERROR_SUCCESS)
            break;
        out += std::string(szName) + "=" + std::to_string(dwType) + ":" +
               std::string(reinterpret_cast<char*>(abData), cbData) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD cchName = sizeof(szName);
        if (RegEnumKeyExA(hKey, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        DumpKey(hKey, szName, path + "\\" + szName, out);
    }
    RegCloseKey(hKey);
}

// Everything under HKEY_CLASSES_ROOT that registration may touch.
std::string RegistrationState()
{
    std::string out;
    for (const char* pszKey :
         {kClassKey.c_str(), "Veltrix.Deskband", "Veltrix.Deskband.1",
          "TypeLib\\{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}", "Interface\\{E818E963-231A-4E57-B501-08CF13EF2867}",
          "Component Categories\\{00021492-0000-0000-C000-000000000046}"})
        DumpKey(HKEY_CLASSES_ROOT, pszKey, pszKey, out);
    return out;
}

std::string ReadString(const std::string& key, const char* pszValue)
{
    char szData[1024] = "";
    DWORD cbData = sizeof(szData);
    LONG lStatus = RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), pszValue, RRF_RT_REG_SZ, nullptr, szData, &cbData);
    return lStatus == ERROR_SUCCESS ? szData : "<missing>";
}

int RunRegsvr32(const std::string& options, const std::string& path)
{
    return std::system(("regsvr32.exe " + options + " \"" + path + "\"").c_str());
}

class RegistrationTest : public ::testing::Test
{
protected:
    void SetUp() override { (void)CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }

    const std::string m_before = RegistrationState();
};
}

TEST_F(RegistrationTest, RegsvrRegistersTheBandFromAnyPathAndUnregisteringRestoresTheRegistry)
{
    // A copy in a folder whose name holds an apostrophe, which the script must keep.
    const std::string dir = BinPath("Band's Folder"), dll = dir + "\\Veltrix.dll";
    CreateDirectoryA(dir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(BinPath("Veltrix.dll").c_str(), dll.c_str(), FALSE));
    ASSERT_EQ(RunRegsvr32("/u /s", dll), 0) << "unregistering a clean registry";
    EXPECT_EQ(RegistrationState(), m_before);

    ASSERT_EQ(RunRegsvr32("/s", dll), 0);
    const std::string registered = RegistrationState();
    const struct
    {
        std::string key;
        const char* pszValue;
        std::string data;
    } values[] = {
        {kClassKey, nullptr, "Corvale"},
        {kClassKey + "\\InprocServer32", nullptr, dll},
        {kClassKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {kClassKey + "\\ProgID", nullptr, "Veltrix.Deskband.1"},
        {kClassKey + "\\VersionIndependentProgID", nullptr, "Veltrix.Deskband"},
        {kClassKey + "\\TypeLib", nullptr, "{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}"},
        {"Veltrix.Deskband.1\\CLSID", nullptr, "{CD656E3A-1EB0-45F4-AC0A-971F694D5734}"},
        {"Veltrix.Deskband\\CurVer", nullptr, "Veltrix.Deskband.1"},
    };
    for (const auto& value : values)
        EXPECT_EQ(ReadString(value.key, value.pszValue), value.data)
            << value.key << " " << (value.pszValue ? value.pszValue : "");
    for (const char* pszKey : {"\\Programmable]", "\\Implemented Categories\\{00021492-0000-0000-C000-000000000046}]"})
        EXPECT_NE(registered.find(pszKey), std::string::npos) << pszKey;
    // The type library of the band's own bitness, which registration files under its platform.
    CComRef<ITypeLib> pTypeLib;
    ASSERT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, pTypeLib.Receive()), S_OK);
    TLIBATTR* pLibAttr = nullptr;
    ASSERT_EQ(pTypeLib->GetLibAttr(&pLibAttr), S_OK);
    EXPECT_EQ(pLibAttr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    pTypeLib->ReleaseTLibAttr(pLibAttr);
    pTypeLib.Reset();

    ASSERT_EQ(RunRegsvr32("/s", dll), 0);
    EXPECT_EQ(RegistrationState(), registered) << "registering again";
    // The shell's way in: the class found through the registry.
    CComRef<IDeskBand> pBand;
    EXPECT_EQ(CoCreateInstance(kClsidDeskband, nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand, pBand.ReceiveVoid()),
              S_OK);
    pBand.Reset();
    CoFreeUnusedLibraries();

    ASSERT_EQ(RunRegsvr32("/u /s", dll), 0);
    EXPECT_EQ(RegistrationState(), m_before);
    DeleteFileA(dll.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_F(RegistrationTest, DispatchAnswersFromTheRegisteredTypeLibrary)
{
    CVeltrixLibrary library;
    CComRef<IDispatch> pFirst, pSecond;
    ASSERT_EQ(library.Create(IID_IDispatch, pFirst.Receive()), S_OK);
    ASSERT_EQ(library.Create(IID_IDispatch, pSecond.Receive()), S_OK);
    UINT cTypeInfo = 0;
    EXPECT_TRUE(pFirst->GetTypeInfoCount(&cTypeInfo) == S_OK && cTypeInfo == 1);
    EXPECT_EQ(pFirst->GetTypeInfoCount(nullptr), E_POINTER);

    // Not registered yet: the registry lookup's failure, and nothing handed out.
    ITypeInfo* pTypeInfo = reinterpret_cast<ITypeInfo*>(&cTypeInfo);
    EXPECT_EQ(pFirst->GetTypeInfo(0, 0, &pTypeInfo), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(pTypeInfo, nullptr);
    EXPECT_EQ(pFirst->GetTypeInfo(0, 0, nullptr), E_POINTER);

    // Every band shares one type information, whatever index and locale are asked for.
    ASSERT_EQ(library.Call("DllRegisterServer"), S_OK);
    CComRef<ITypeInfo> pAtFive, pOther;
    ASSERT_EQ(pFirst->GetTypeInfo(0, 0, &pTypeInfo), S_OK);
    ASSERT_EQ(pFirst->GetTypeInfo(5, 0x409, pAtFive.Receive()), S_OK);
    ASSERT_EQ(pSecond->GetTypeInfo(0, 0, pOther.Receive()), S_OK);
    EXPECT_TRUE(pTypeInfo == pAtFive.Get() && pTypeInfo == pOther.Get());

    // A name is answered from the cache when it matches exactly, else by the type information,
    // which ignores case; the start of a name is no name.
    DISPID dispid = 0;
    EXPECT_EQ(pFirst->GetIDsOfNames(IID_NULL, nullptr, 0, 0, &dispid), S_OK);
    const struct
    {
        const wchar_t* pszName;
        HRESULT hr;
    } names[] = {
        {L"Invoke", S_OK}, {L"INVOKE", S_OK}, {L"Inv", DISP_E_UNKNOWNNAME}, {L"NoSuchMember", DISP_E_UNKNOWNNAME}};
    DISPID dispidInvoke = DISPID_UNKNOWN;
    ASSERT_EQ(pTypeInfo->GetIDsOfNames(const_cast<LPOLESTR*>(&names[0].pszName), 1, &dispidInvoke), S_OK);
    for (const auto& name : names) {
        dispid = DISPID_UNKNOWN;
        EXPECT_EQ(pFirst->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(&name.pszName), 1, 0, &dispid), name.hr)
            << "name " << name.pszName;
        EXPECT_TRUE(FAILED(name.hr) || dispid == dispidInvoke) << "name " << name.pszName;
    }
    DISPPARAMS params = {};
    EXPECT_EQ(pFirst->Invoke(12345, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);

    // The cache holds one reference of its own until the library is unloaded.
    pFirst.Reset();
    pSecond.Reset();
    pAtFive.Reset();
    pOther.Reset();
    EXPECT_EQ(library.Call("DllUnregisterServer"), S_OK);
    pTypeInfo->AddRef();
    const ULONG cBefore = pTypeInfo->Release();
    library.Free();
    pTypeInfo->AddRef();
    EXPECT_EQ(pTypeInfo->Release(), cBefore - 1);
    pTypeInfo->Release();
    EXPECT_EQ(RegistrationState(), m_before);
}
