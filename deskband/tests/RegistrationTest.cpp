// Registration and automation dispatch, driven as an installer and a scripting client would:
// regsvr32 and the library's exports, with the results read back from the registry.
#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

#include <stdio.h>

#include <cstdlib>
#include <string>

#include "CComRef.h"
#include "CVeltrixLibrary.h"

namespace
{
const GUID kLibid = {0xAA5F1712, 0x1151, 0x4CA8, {0x86, 0xA0, 0xA5, 0x2E, 0x61, 0x02, 0xD6, 0xB9}};
const std::string kClassKey = "CLSID\\{CD656E3A-1EB0-45F4-AC0A-971F694D5734}";

// Everything under HKEY_CLASSES_ROOT that registration may touch, as reg.exe lists it.
std::string RegistrationState()
{
    std::string out;
    for (const std::string& key : {kClassKey, std::string("Veltrix.Deskband"), std::string("Veltrix.Deskband.1"),
                                   std::string("TypeLib\\{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}"),
                                   std::string("Interface\\{E818E963-231A-4E57-B501-08CF13EF2867}"),
                                   std::string("Component Categories\\{00021492-0000-0000-C000-000000000046}")}) {
        FILE* pPipe = _popen(("reg query \"HKCR\\" + key + "\" /s").c_str(), "r");
        for (int ch; pPipe && (ch = fgetc(pPipe)) != EOF;)
            out += static_cast<char>(ch);
        _pclose(pPipe);
    }
    return out;
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
    char szExe[MAX_PATH];
    const std::string exe(szExe, GetModuleFileNameA(nullptr, szExe, MAX_PATH));
    const std::string dir = exe.substr(0, exe.rfind('\\')) + "\\Band's Folder", dll = dir + "\\Veltrix.dll";
    const auto regsvr32 = [&](const char* pszOptions) {
        return std::system(("regsvr32.exe " + std::string(pszOptions) + " \"" + dll + "\"").c_str());
    };
    CreateDirectoryA(dir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((exe.substr(0, exe.rfind('\\')) + "\\Veltrix.dll").c_str(), dll.c_str(), FALSE));
    ASSERT_EQ(regsvr32("/u /s"), 0) << "unregistering a clean registry";
    EXPECT_EQ(RegistrationState(), m_before);

    ASSERT_EQ(regsvr32("/s"), 0);
    const std::string registered = RegistrationState();
    const std::string kDefault = "\n    (Default)    REG_SZ    ", kClass = "\\" + kClassKey;
    const std::string lines[] = {
        kClass + kDefault + "Corvale",
        kClass + "\\InprocServer32" + kDefault + dll + "\n    ThreadingModel    REG_SZ    Apartment",
        kClass + "\\ProgID" + kDefault + "Veltrix.Deskband.1",
        kClass + "\\VersionIndependentProgID" + kDefault + "Veltrix.Deskband", kClass + "\\Programmable\n",
        kClass + "\\TypeLib" + kDefault + "{AA5F1712-1151-4CA8-86A0-A52E6102D6B9}",
        kClass + "\\Implemented Categories\\{00021492-0000-0000-C000-000000000046}\n",
        "\\Veltrix.Deskband.1\\CLSID" + kDefault + "{CD656E3A-1EB0-45F4-AC0A-971F694D5734}",
        "\\Veltrix.Deskband\\CurVer" + kDefault + "Veltrix.Deskband.1",
        // the type library under the platform of the band's own bitness
        "\\1.0\\0\\win" + std::to_string(8 * sizeof(void*)) + kDefault + dll};
    for (const std::string& line : lines)
        EXPECT_NE(registered.find(line), std::string::npos) << line;
    ASSERT_EQ(regsvr32("/s"), 0);
    EXPECT_EQ(RegistrationState(), registered) << "registering again";
    ASSERT_EQ(regsvr32("/u /s"), 0);
    EXPECT_EQ(RegistrationState(), m_before);
    DeleteFileA(dll.c_str());
    RemoveDirectoryA(dir.c_str());
}

// A client of the band installed in this program's registry view, as the registry-views test
// runs it for each bitness (and only it): the band is created through the registry, loads its
// type information, and its type library loads.
TEST_F(RegistrationTest, DISABLED_RegisteredBandIsCreatableWithItsTypeInformation)
{
    CComRef<IDispatch> pBand;
    CComRef<ITypeInfo> pTypeInfo;
    CComRef<ITypeLib> pTypeLib;
    ASSERT_EQ(CoCreateInstance(kClsidDeskband, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, pBand.ReceiveVoid()),
              S_OK);
    EXPECT_EQ(pBand->GetTypeInfo(0, 0, pTypeInfo.Receive()), S_OK);
    EXPECT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, pTypeLib.Receive()), S_OK);
}

TEST_F(RegistrationTest, DispatchAnswersFromTheRegisteredTypeLibrary)
{
    CVeltrixLibrary library;
    CComRef<IDispatch> pFirst, pSecond;
    ASSERT_EQ(library.Create(IID_IDispatch, pFirst.Receive()), S_OK);
    ASSERT_EQ(library.Create(IID_IDispatch, pSecond.Receive()), S_OK);
    // Not registered yet: the registry lookup's failure, and nothing handed out.
    ITypeInfo* pTypeInfo = reinterpret_cast<ITypeInfo*>(&pTypeInfo); // anything but null
    EXPECT_EQ(pFirst->GetTypeInfo(0, 0, &pTypeInfo), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(pTypeInfo, nullptr);

    // Every band shares one type information, whatever index and locale are asked for.
    ASSERT_EQ(library.Call("DllRegisterServer"), S_OK);
    CComRef<ITypeInfo> pAtFive, pOther;
    ASSERT_EQ(pFirst->GetTypeInfo(0, 0, &pTypeInfo), S_OK);
    ASSERT_EQ(pFirst->GetTypeInfo(5, 0x409, pAtFive.Receive()), S_OK);
    ASSERT_EQ(pSecond->GetTypeInfo(0, 0, pOther.Receive()), S_OK);
    EXPECT_TRUE(pTypeInfo == pAtFive.Get() && pTypeInfo == pOther.Get());
    // A name is answered from the cache when it matches exactly, else by the type information,
    // which ignores case; the start of a name is no name.
    DISPID dispidInvoke = DISPID_UNKNOWN, dispid;
    LPOLESTR pszInvoke = const_cast<LPOLESTR>(L"Invoke");
    ASSERT_EQ(pTypeInfo->GetIDsOfNames(&pszInvoke, 1, &dispidInvoke), S_OK);
    const std::pair<const wchar_t*, DISPID> names[] = {{L"Invoke", dispidInvoke},
                                                       {L"INVOKE", dispidInvoke},
                                                       {L"Inv", DISPID_UNKNOWN},
                                                       {L"NoSuchMember", DISPID_UNKNOWN}};
    for (const auto& name : names) {
        SCOPED_TRACE(testing::Message() << "name " << name.first);
        LPOLESTR pszName = const_cast<LPOLESTR>(name.first);
        dispid = DISPID_UNKNOWN;
        EXPECT_EQ(pFirst->GetIDsOfNames(IID_NULL, &pszName, 1, 0, &dispid),
                  name.second == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
        EXPECT_EQ(dispid, name.second);
    }
    pTypeInfo->Release();
    EXPECT_EQ(library.Call("DllUnregisterServer"), S_OK);
    EXPECT_EQ(RegistrationState(), m_before);
}
