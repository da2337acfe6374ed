// Registration and automation dispatch, driven as an installer and a scripting client would:
// regsvr32 and the library's exports, with the results read back from the registry.
#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

#include <string>

namespace
{
const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};
const IID kIidDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
const GUID kLibid = {0xAA5F1712, 0x1151, 0x4CA8, {0x86, 0xA0, 0xA5, 0x2E, 0x61, 0x02, 0xD6, 0xB9}};
const char kClassKey[] = "CLSID\\{CD656E3A-1EB0-45F4-AC0A-971F694D5734}";

const char kScript[] =
    "HKCR\r\n{\r\n"
    "\tVeltrix.Deskband.1 = s 'Corvale'\r\n\t{\r\n"
    "\t\tCLSID = s '{CD656E3A-1EB0-45F4-AC0A-971F694D5734}'\r\n\t}\r\n"
    "\tVeltrix.Deskband = s 'Corvale'\r\n\t{\r\n"
    "\t\tCLSID = s '{CD656E3A-1EB0-45F4-AC0A-971F694D5734}'\r\n"
    "\t\tCurVer = s 'Veltrix.Deskband.1'\r\n\t}\r\n"
    "\tNoRemove CLSID\r\n\t{\r\n"
    "\t\tForceRemove {CD656E3A-1EB0-45F4-AC0A-971F694D5734} = s 'Corvale'\r\n\t\t{\r\n"
    "\t\t\tProgID = s 'Veltrix.Deskband.1'\r\n"
    "\t\t\tVersionIndependentProgID = s 'Veltrix.Deskband'\r\n"
    "\t\t\tForceRemove 'Programmable'\r\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t{\r\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\r\n\t\t\t}\r\n"
    "\t\t\t'TypeLib' = s '{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}'\r\n"
    "\t\t}\r\n\t}\r\n}\r\n";

std::string BinPath(const char* pszFile)
{
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    std::string path(szExe);
    return path.substr(0, path.rfind('\\') + 1) + pszFile;
}

// Everything that registration may touch under HKEY_CLASSES_ROOT, as text: keys, values
// and their data, recursively.
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

std::string RegistrationState()
{
    std::string out;
    for (const char* pszKey : {kClassKey, "Veltrix.Deskband", "Veltrix.Deskband.1",
                               "TypeLib\\{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}",
                               "Interface\\{E818E963-231A-4E57-B501-08CF13EF2867}",
                               "Component Categories\\{00021492-0000-0000-C000-000000000046}"})
        DumpKey(HKEY_CLASSES_ROOT, pszKey, pszKey, out);
    return out;
}

std::string ReadString(const std::string& key, const char* pszValue)
{
    char szData[1024] = "";
    DWORD cbData = sizeof(szData);
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), pszValue, RRF_RT_REG_SZ, nullptr, szData, &cbData) != ERROR_SUCCESS)
        return "<missing>";
    return szData;
}

DWORD RunRegsvr32(const std::string& options, const std::string& path)
{
    std::string command = "regsvr32.exe " + options + " \"" + path + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD dwExit = 1;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return dwExit;
}

// The library loaded by path, its registration exports called directly.
class CLibrary
{
public:
    explicit CLibrary(const std::string& path) : m_hModule(LoadLibraryA(path.c_str())) {}
    ~CLibrary() { if (m_hModule) FreeLibrary(m_hModule); }
    HRESULT Call(const char* pszExport)
    {
        auto pfn = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_hModule, pszExport));
        return pfn ? pfn() : E_UNEXPECTED;
    }
    template <class T> HRESULT Create(REFIID riid, T** ppv)
    {
        auto pfnGet = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(GetProcAddress(m_hModule, "DllGetClassObject"));
        IClassFactory* pFactory = nullptr;
        HRESULT hr = pfnGet(kClsidDeskband, IID_IClassFactory, reinterpret_cast<void**>(&pFactory));
        if (SUCCEEDED(hr)) {
            hr = pFactory->CreateInstance(nullptr, riid, reinterpret_cast<void**>(ppv));
            pFactory->Release();
        }
        return hr;
    }
    void Free() { FreeLibrary(m_hModule); m_hModule = nullptr; }

private:
    HMODULE m_hModule;
};

class RegistrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        m_before = RegistrationState();
    }
    void TearDown() override
    {
        CoUninitialize();
    }
    std::string m_before;
};
}

TEST_F(RegistrationTest, ResourcesAreTheScriptByteForByteAndTheTypeLibrary)
{
    HMODULE hData = LoadLibraryExA(BinPath("Veltrix.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hData, nullptr);
    HRSRC hScript = FindResourceExA(hData, "REGISTRY", MAKEINTRESOURCEA(101), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(hScript, nullptr);
    const char* pchScript = static_cast<const char*>(LockResource(LoadResource(hData, hScript)));
    EXPECT_EQ(std::string(pchScript, SizeofResource(hData, hScript)), kScript);
    EXPECT_NE(FindResourceExA(hData, "TYPELIB", MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), nullptr);
    FreeLibrary(hData);

    ITypeLib* pTypeLib = nullptr;
    const std::string dll = BinPath("Veltrix.dll");
    const std::wstring path(dll.begin(), dll.end());
    ASSERT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &pTypeLib), S_OK);
    TLIBATTR* pLibAttr = nullptr;
    ASSERT_EQ(pTypeLib->GetLibAttr(&pLibAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(pLibAttr->guid, kLibid));
    EXPECT_EQ(pLibAttr->wMajorVerNum, 1);
    EXPECT_EQ(pLibAttr->wMinorVerNum, 0);
    EXPECT_EQ(pLibAttr->lcid, 0u);
    EXPECT_EQ(pLibAttr->syskind, SYS_WIN32);
    EXPECT_EQ(pLibAttr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0); // the loader adds the disk-image flag
    pTypeLib->ReleaseTLibAttr(pLibAttr);

    BSTR bstrName = nullptr, bstrHelp = nullptr;
    ASSERT_EQ(pTypeLib->GetDocumentation(-1, &bstrName, &bstrHelp, nullptr, nullptr), S_OK);
    EXPECT_STREQ(bstrName, L"VELTRIXLib");
    EXPECT_STREQ(bstrHelp, L"Veltrix 1.0 Type Library");
    SysFreeString(bstrName);
    SysFreeString(bstrHelp);

    ITypeInfo* pInterface = nullptr;
    ASSERT_EQ(pTypeLib->GetTypeInfoOfGuid(kIidDeskband, &pInterface), S_OK);
    TYPEATTR* pAttr = nullptr;
    ASSERT_EQ(pInterface->GetTypeAttr(&pAttr), S_OK);
    // The library stores 0x1140 (dual, OLE-automation, dispatchable); the automation
    // runtime reports the dispatch half without the OLE-automation flag.
    EXPECT_EQ(pAttr->wTypeFlags & ~TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
    pInterface->ReleaseTypeAttr(pAttr);
    ASSERT_EQ(pInterface->GetDocumentation(MEMBERID_NIL, &bstrName, &bstrHelp, nullptr, nullptr), S_OK);
    EXPECT_STREQ(bstrName, L"IDeskband");
    EXPECT_STREQ(bstrHelp, L"IDeskband Interface");
    SysFreeString(bstrName);
    SysFreeString(bstrHelp);
    // The interface half of the dual: IDispatch's seven slots and nothing of its own.
    HREFTYPE hrefVtable = 0;
    ITypeInfo* pVtable = nullptr;
    ASSERT_EQ(pInterface->GetRefTypeOfImplType(-1, &hrefVtable), S_OK);
    ASSERT_EQ(pInterface->GetRefTypeInfo(hrefVtable, &pVtable), S_OK);
    ASSERT_EQ(pVtable->GetTypeAttr(&pAttr), S_OK);
    EXPECT_EQ(pAttr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION), TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(pAttr->cbSizeVft, 7 * sizeof(void*));
    EXPECT_EQ(pAttr->cFuncs, 0);
    pVtable->ReleaseTypeAttr(pAttr);
    pVtable->Release();
    pInterface->Release();

    ITypeInfo* pClass = nullptr;
    ASSERT_EQ(pTypeLib->GetTypeInfoOfGuid(kClsidDeskband, &pClass), S_OK);
    ASSERT_EQ(pClass->GetTypeAttr(&pAttr), S_OK);
    EXPECT_EQ(pAttr->typekind, TKIND_COCLASS);
    EXPECT_EQ(pAttr->wTypeFlags, TYPEFLAG_FCANCREATE);
    pClass->ReleaseTypeAttr(pAttr);
    ASSERT_EQ(pClass->GetDocumentation(MEMBERID_NIL, &bstrName, &bstrHelp, nullptr, nullptr), S_OK);
    EXPECT_STREQ(bstrName, L"Deskband");
    EXPECT_STREQ(bstrHelp, L"Corvale");
    SysFreeString(bstrName);
    SysFreeString(bstrHelp);
    INT nFlags = 0;
    EXPECT_EQ(pClass->GetImplTypeFlags(0, &nFlags), S_OK);
    EXPECT_EQ(nFlags, IMPLTYPEFLAG_FDEFAULT);
    pClass->Release();
    pTypeLib->Release();
}

TEST_F(RegistrationTest, RegsvrRegistersTheBandAndUnregisteringRestoresTheRegistry)
{
    const std::string dll = BinPath("Veltrix.dll");
    ASSERT_EQ(RunRegsvr32("/s", dll), 0u);
    const std::string registered = RegistrationState();
    EXPECT_EQ(ReadString(kClassKey, nullptr), "Corvale");
    EXPECT_EQ(ReadString(std::string(kClassKey) + "\\InprocServer32", nullptr), dll);
    EXPECT_EQ(ReadString(std::string(kClassKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(ReadString(std::string(kClassKey) + "\\ProgID", nullptr), "Veltrix.Deskband.1");
    EXPECT_EQ(ReadString(std::string(kClassKey) + "\\VersionIndependentProgID", nullptr), "Veltrix.Deskband");
    EXPECT_NE(registered.find("\\Programmable]"), std::string::npos);
    EXPECT_EQ(ReadString(std::string(kClassKey) + "\\TypeLib", nullptr), "{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}");
    EXPECT_NE(registered.find("Implemented Categories\\{00021492-0000-0000-C000-000000000046}"), std::string::npos);
    EXPECT_EQ(ReadString("Veltrix.Deskband.1\\CLSID", nullptr), "{CD656E3A-1EB0-45F4-AC0A-971F694D5734}");
    EXPECT_EQ(ReadString("Veltrix.Deskband\\CurVer", nullptr), "Veltrix.Deskband.1");
    ITypeLib* pTypeLib = nullptr;
    ASSERT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, &pTypeLib), S_OK);
    pTypeLib->Release();

    ASSERT_EQ(RunRegsvr32("/s", dll), 0u);
    EXPECT_EQ(RegistrationState(), registered);

    // The shell's way in: the class found through the registry.
    IDeskBand* pBand = nullptr;
    ASSERT_EQ(CoCreateInstance(kClsidDeskband, nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand, reinterpret_cast<void**>(&pBand)), S_OK);
    DESKBANDINFO dbi = {};
    dbi.dwMask = DBIM_MINSIZE;
    EXPECT_EQ(pBand->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &dbi), S_OK);
    EXPECT_EQ(dbi.ptMinSize.x, 32);
    pBand->Release();
    CoFreeUnusedLibraries();

    ASSERT_EQ(RunRegsvr32("/u /s", dll), 0u);
    EXPECT_EQ(RegistrationState(), m_before);
    EXPECT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, &pTypeLib), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(RegistrationTest, AnApostropheInTheDirectoryIsKeptAndUnregisteringACleanRegistrySucceeds)
{
    const std::string dir = BinPath("Band's Folder");
    const std::string dll = dir + "\\Veltrix.dll";
    CreateDirectoryA(dir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(BinPath("Veltrix.dll").c_str(), dll.c_str(), FALSE));
    {
        CLibrary library(dll);
        EXPECT_EQ(library.Call("DllUnregisterServer"), S_OK);
        EXPECT_EQ(RegistrationState(), m_before);
        ASSERT_EQ(library.Call("DllRegisterServer"), S_OK);
        EXPECT_EQ(ReadString(std::string(kClassKey) + "\\InprocServer32", nullptr), dll);
        EXPECT_EQ(library.Call("DllUnregisterServer"), S_OK);
    }
    EXPECT_EQ(RegistrationState(), m_before);
    DeleteFileA(dll.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_F(RegistrationTest, DispatchAnswersFromTheRegisteredTypeLibrary)
{
    CLibrary library(BinPath("Veltrix.dll"));
    IDispatch* pFirst = nullptr;
    IDispatch* pSecond = nullptr;
    ASSERT_EQ(library.Create(IID_IDispatch, &pFirst), S_OK);
    ASSERT_EQ(library.Create(IID_IDispatch, &pSecond), S_OK);

    UINT cTypeInfo = 0;
    EXPECT_EQ(pFirst->GetTypeInfoCount(&cTypeInfo), S_OK);
    EXPECT_EQ(cTypeInfo, 1u);
    EXPECT_EQ(pFirst->GetTypeInfoCount(nullptr), E_POINTER);

    // Not registered yet: the registry lookup's failure, and nothing handed out.
    ITypeInfo* pTypeInfo = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(pFirst->GetTypeInfo(0, 0, &pTypeInfo), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(pTypeInfo, nullptr);
    EXPECT_EQ(pFirst->GetTypeInfo(0, 0, nullptr), E_POINTER);

    ASSERT_EQ(library.Call("DllRegisterServer"), S_OK);
    ITypeInfo* pAtFive = nullptr;
    ITypeInfo* pOther = nullptr;
    ASSERT_EQ(pFirst->GetTypeInfo(0, 0, &pTypeInfo), S_OK);
    ASSERT_EQ(pFirst->GetTypeInfo(5, 0x409, &pAtFive), S_OK);
    ASSERT_EQ(pSecond->GetTypeInfo(0, 0, &pOther), S_OK);
    EXPECT_EQ(pTypeInfo, pAtFive);
    EXPECT_EQ(pTypeInfo, pOther);
    pAtFive->Release();
    pOther->Release();

    DISPID dispid = 0;
    EXPECT_EQ(pFirst->GetIDsOfNames(IID_NULL, nullptr, 0, 0, &dispid), S_OK);
    LPOLESTR pszUnknown = const_cast<LPOLESTR>(L"NoSuchMember");
    EXPECT_EQ(pFirst->GetIDsOfNames(IID_NULL, &pszUnknown, 1, 0, &dispid), DISP_E_UNKNOWNNAME);
    DISPPARAMS params = {};
    EXPECT_EQ(pFirst->Invoke(12345, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);

    // The cache holds one reference of its own until the library is unloaded.
    pFirst->Release();
    pSecond->Release();
    EXPECT_EQ(library.Call("DllUnregisterServer"), S_OK);
    pTypeInfo->AddRef();
    const ULONG cBefore = pTypeInfo->Release();
    library.Free();
    pTypeInfo->AddRef();
    EXPECT_EQ(pTypeInfo->Release(), cBefore - 1);
    pTypeInfo->Release();
    EXPECT_EQ(RegistrationState(), m_before);
}
