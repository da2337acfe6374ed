// Registration and automation dispatch, driven as an installer and a scripting client would:
// regsvr32 and the library's exports, with the results read back from the registry.
#include <cstdlib>
#include <string>

#include "VeltrixLibrary.h"

namespace
{
const GUID kLibid = {0xAA5F1712, 0x1151, 0x4CA8, {0x86, 0xA0, 0xA5, 0x2E, 0x61, 0x02, 0xD6, 0xB9}};
const std::string kClassKey = "CLSID\\{CD656E3A-1EB0-45F4-AC0A-971F694D5734}";

const char kScript[] = "HKCR\r\n{\r\n"
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
    for (const std::string& key : {kClassKey, std::string("Veltrix.Deskband"), std::string("Veltrix.Deskband.1"),
                                   std::string("TypeLib\\{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}"),
                                   std::string("Interface\\{E818E963-231A-4E57-B501-08CF13EF2867}"),
                                   std::string("Component Categories\\{00021492-0000-0000-C000-000000000046}")})
        DumpKey(HKEY_CLASSES_ROOT, key, key, out);
    return out;
}

std::string ReadString(const std::string& key, const char* pszValue = nullptr)
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

// "name|help string" of a type library (index -1) or of a type (MEMBERID_NIL).
template <class T> std::wstring Documentation(T* p)
{
    BSTR bstrName = nullptr, bstrHelp = nullptr;
    EXPECT_EQ(p->GetDocumentation(-1, &bstrName, &bstrHelp, nullptr, nullptr), S_OK);
    std::wstring str = std::wstring(bstrName ? bstrName : L"") + L"|" + (bstrHelp ? bstrHelp : L"");
    SysFreeString(bstrName);
    SysFreeString(bstrHelp);
    return str;
}

TYPEATTR Attributes(ITypeInfo* pTypeInfo)
{
    TYPEATTR* pAttr = nullptr;
    TYPEATTR attr = {};
    if (SUCCEEDED(pTypeInfo->GetTypeAttr(&pAttr))) {
        attr = *pAttr;
        pTypeInfo->ReleaseTypeAttr(pAttr);
    }
    return attr;
}

class RegistrationTest : public ::testing::Test
{
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }

    const std::string m_before = RegistrationState();
};
}

TEST_F(RegistrationTest, ResourcesAreTheScriptByteForByteAndTheTypeLibrary)
{
    const std::string dll = BinPath("Veltrix.dll");
    HMODULE hData = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hData, nullptr);
    const WORD wEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    HRSRC hScript = FindResourceExA(hData, "REGISTRY", MAKEINTRESOURCEA(101), wEnglishUs);
    ASSERT_NE(hScript, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(hData, hScript))),
                          SizeofResource(hData, hScript)),
              kScript);
    EXPECT_NE(FindResourceExA(hData, "TYPELIB", MAKEINTRESOURCEA(1), wEnglishUs), nullptr);
    FreeLibrary(hData);

    ITypeLib* pTypeLib = nullptr;
    ASSERT_EQ(LoadTypeLibEx(std::wstring(dll.begin(), dll.end()).c_str(), REGKIND_NONE, &pTypeLib), S_OK);
    TLIBATTR* pLibAttr = nullptr;
    ASSERT_EQ(pTypeLib->GetLibAttr(&pLibAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(pLibAttr->guid, kLibid));
    EXPECT_EQ(pLibAttr->wMajorVerNum, 1);
    EXPECT_EQ(pLibAttr->wMinorVerNum, 0);
    EXPECT_EQ(pLibAttr->lcid, 0u);
    EXPECT_EQ(pLibAttr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32) << "the library's own bitness";
    EXPECT_EQ(pLibAttr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0); // the loader adds the disk-image flag
    pTypeLib->ReleaseTLibAttr(pLibAttr);
    EXPECT_EQ(Documentation(pTypeLib), L"VELTRIXLib|Veltrix 1.0 Type Library");

    ITypeInfo* pInterface = nullptr;
    ASSERT_EQ(pTypeLib->GetTypeInfoOfGuid(kIidDeskband, &pInterface), S_OK);
    // The library stores 0x1140 (dual, OLE-automation, dispatchable); the automation
    // runtime reports the dispatch half without the OLE-automation flag.
    EXPECT_EQ(Attributes(pInterface).wTypeFlags & ~TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(Documentation(pInterface), L"IDeskband|IDeskband Interface");
    // The interface half of the dual: IDispatch's seven slots and nothing of its own.
    HREFTYPE hrefVtable = 0;
    ITypeInfo* pVtable = nullptr;
    ASSERT_EQ(pInterface->GetRefTypeOfImplType(-1, &hrefVtable), S_OK);
    ASSERT_EQ(pInterface->GetRefTypeInfo(hrefVtable, &pVtable), S_OK);
    const TYPEATTR vtable = Attributes(pVtable);
    EXPECT_EQ(vtable.wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION), TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(vtable.cbSizeVft, 7 * sizeof(void*));
    EXPECT_EQ(vtable.cFuncs, 0);
    pVtable->Release();
    pInterface->Release();

    ITypeInfo* pClass = nullptr;
    ASSERT_EQ(pTypeLib->GetTypeInfoOfGuid(kClsidDeskband, &pClass), S_OK);
    EXPECT_EQ(Attributes(pClass).typekind, TKIND_COCLASS);
    EXPECT_EQ(Attributes(pClass).wTypeFlags, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(Documentation(pClass), L"Deskband|Corvale");
    INT nFlags = 0;
    EXPECT_EQ(pClass->GetImplTypeFlags(0, &nFlags), S_OK);
    EXPECT_EQ(nFlags, IMPLTYPEFLAG_FDEFAULT);
    pClass->Release();
    pTypeLib->Release();
}

TEST_F(RegistrationTest, RegsvrRegistersTheBandFromAnyPathAndUnregisteringRestoresTheRegistry)
{
    // A copy in a directory whose name holds an apostrophe, which the script must keep.
    const std::string dir = BinPath("Band's Folder"), dll = dir + "\\Veltrix.dll";
    CreateDirectoryA(dir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(BinPath("Veltrix.dll").c_str(), dll.c_str(), FALSE));
    ASSERT_EQ(RunRegsvr32("/u /s", dll), 0) << "unregistering a clean registry";
    EXPECT_EQ(RegistrationState(), m_before);

    ASSERT_EQ(RunRegsvr32("/s", dll), 0);
    const std::string registered = RegistrationState();
    EXPECT_EQ(ReadString(kClassKey), "Corvale");
    EXPECT_EQ(ReadString(kClassKey + "\\InprocServer32"), dll);
    EXPECT_EQ(ReadString(kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(ReadString(kClassKey + "\\ProgID"), "Veltrix.Deskband.1");
    EXPECT_EQ(ReadString(kClassKey + "\\VersionIndependentProgID"), "Veltrix.Deskband");
    EXPECT_NE(registered.find("\\Programmable]"), std::string::npos);
    EXPECT_EQ(ReadString(kClassKey + "\\TypeLib"), "{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}");
    EXPECT_NE(registered.find("Implemented Categories\\{00021492-0000-0000-C000-000000000046}"), std::string::npos);
    EXPECT_EQ(ReadString("Veltrix.Deskband.1\\CLSID"), "{CD656E3A-1EB0-45F4-AC0A-971F694D5734}");
    EXPECT_EQ(ReadString("Veltrix.Deskband\\CurVer"), "Veltrix.Deskband.1");
    ITypeLib* pTypeLib = nullptr;
    ASSERT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, &pTypeLib), S_OK);
    pTypeLib->Release();

    ASSERT_EQ(RunRegsvr32("/s", dll), 0);
    EXPECT_EQ(RegistrationState(), registered);

    // The shell's way in: the class found through the registry.
    IDeskBand* pBand = nullptr;
    ASSERT_EQ(CoCreateInstance(kClsidDeskband, nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand,
                               reinterpret_cast<void**>(&pBand)),
              S_OK);
    DESKBANDINFO dbi = {};
    dbi.dwMask = DBIM_MINSIZE;
    EXPECT_EQ(pBand->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &dbi), S_OK);
    EXPECT_EQ(dbi.ptMinSize.x, 32);
    pBand->Release();
    CoFreeUnusedLibraries();

    ASSERT_EQ(RunRegsvr32("/u /s", dll), 0);
    EXPECT_EQ(RegistrationState(), m_before);
    EXPECT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, &pTypeLib), TYPE_E_LIBNOTREGISTERED);
    DeleteFileA(dll.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_F(RegistrationTest, DispatchAnswersFromTheRegisteredTypeLibrary)
{
    CVeltrixLibrary library;
    IDispatch* pFirst = nullptr;
    IDispatch* pSecond = nullptr;
    ASSERT_EQ(library.Create(IID_IDispatch, &pFirst), S_OK);
    ASSERT_EQ(library.Create(IID_IDispatch, &pSecond), S_OK);
    UINT cTypeInfo = 0;
    EXPECT_EQ(pFirst->GetTypeInfoCount(&cTypeInfo), S_OK);
    EXPECT_EQ(cTypeInfo, 1u);
    EXPECT_EQ(pFirst->GetTypeInfoCount(nullptr), E_POINTER);

    // Not registered yet: the registry lookup's failure, and nothing handed out.
    ITypeInfo* pTypeInfo = static_cast<ITypeInfo*>(kpvStale);
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
    // A name is answered from the cache when it matches exactly, else by the type information,
    // which ignores case; the start of a name is no name.
    const struct
    {
        const wchar_t* pszName;
        HRESULT hr;
    } aNames[] = {
        {L"Invoke", S_OK}, {L"INVOKE", S_OK}, {L"Inv", DISP_E_UNKNOWNNAME}, {L"NoSuchMember", DISP_E_UNKNOWNNAME}};
    DISPID dispidInvoke = DISPID_UNKNOWN;
    ASSERT_EQ(pTypeInfo->GetIDsOfNames(const_cast<LPOLESTR*>(&aNames[0].pszName), 1, &dispidInvoke), S_OK);
    for (const auto& name : aNames) {
        dispid = DISPID_UNKNOWN;
        EXPECT_EQ(pFirst->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(&name.pszName), 1, 0, &dispid), name.hr)
            << "name " << name.pszName;
        EXPECT_TRUE(FAILED(name.hr) || dispid == dispidInvoke) << "name " << name.pszName;
    }
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
