#include "Registration.h"

#include <stdio.h>

#include "CBstr.h"
#include "CCodePage.h"
#include "CComRef.h"
#include "CModuleMemory.h"
#include "CScopedLibrary.h"
#include "CScriptInterpreter.h"
#include "CScriptReplacements.h"
#include "CStoreKey.h"
#include "CWindowsRegistryStore.h"
#include "ModulePaths.h"
#include "ReturnIfFailed.h"

namespace
{
// Room for a module path as the platform returns it, plus ".tlb" or an index suffix.
const DWORD kcchModulePath = MAX_PATH;
const size_t kcchPathRoom = MAX_PATH + 32;

// The path the script registers: the module's own path, or its short form when the module
// is the process's main program and a usable short form exists.
void ChooseScriptPath(const CServerModule* pModule, char* pszPath, size_t cchPath)
{
    if (pModule->m_hInstance && pModule->m_hInstance != GetModuleHandleA(nullptr))
        return;
    char szShort[MAX_PATH];
    const DWORD cchShort = GetShortPathNameA(pszPath, szShort, MAX_PATH);
    // 0 (failure), 87 (ERROR_INVALID_PARAMETER is answered the same way) and anything that
    // did not fit keep the long path.
    if (cchShort == 0 || cchShort == ERROR_INVALID_PARAMETER || cchShort >= MAX_PATH || cchShort >= cchPath)
        return;
    memcpy(pszPath, szShort, cchShort + 1);
}

[[nodiscard]] HRESULT RegisterCategory(ICatRegister* pRegister, REFCLSID rclsid, const CategoryEntry& entry)
{
    CATID catid = *entry.pcatid;
    return entry.nKind == eCategoryImplemented ? pRegister->RegisterClassImplCategories(rclsid, 1, &catid)
                                               : pRegister->RegisterClassReqCategories(rclsid, 1, &catid);
}

void UnregisterCategory(ICatRegister* pRegister, REFCLSID rclsid, const CategoryEntry& entry)
{
    CATID catid = *entry.pcatid;
    if (entry.nKind == eCategoryImplemented)
        pRegister->UnRegisterClassImplCategories(rclsid, 1, &catid);
    else
        pRegister->UnRegisterClassReqCategories(rclsid, 1, &catid);
}

[[nodiscard]] HRESULT LoadTypeLibFromPath(const char* pszPath, ITypeLib** ppTypeLib)
{
    CModuleMemory<OLECHAR> pszWide(CCodePage::DupWide(pszPath));
    if (!pszWide.Get())
        return E_OUTOFMEMORY;
    return LoadTypeLib(pszWide.Get(), ppTypeLib);
}

bool IsListed(const ClassEntry& entry)
{
    return !(entry.pfnGetDescription && entry.pfnGetDescription());
}

using PFNUNREGISTERTYPELIB = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// A GUID as registry keys name it, "{AA5F1712-...}".
bool GuidKeyText(REFGUID rguid, char (&szGuid)[40])
{
    OLECHAR szWide[40];
    return StringFromGUID2(rguid, szWide, ARRAYSIZE(szWide)) && CCodePage::ToMultiByte(szWide, szGuid, sizeof(szGuid));
}

// The subkey of the locale key that holds one platform's registration.
const char* PlatformSubkeyName(SYSKIND syskind)
{
    switch (syskind) {
    case SYS_WIN16:
        return "win16";
    case SYS_WIN32:
        return "win32";
    case SYS_WIN64:
        return "win64";
    default:
        return nullptr;
    }
}

// The keys of the library's dispatch, dual and OLE Automation interfaces, which RegisterTypeLib
// wrote in this registry view.
void RemoveInterfaceKeys(CRegistryStore& store, ITypeLib* pTypeLib)
{
    for (UINT i = 0, cTypes = pTypeLib->GetTypeInfoCount(); i < cTypes; ++i) {
        CComRef<ITypeInfo> pTypeInfo;
        TYPEATTR* pAttr = nullptr;
        if (FAILED(pTypeLib->GetTypeInfo(i, pTypeInfo.Receive())) || FAILED(pTypeInfo->GetTypeAttr(&pAttr)))
            continue;
        const bool fRegistered =
            pAttr->typekind == TKIND_DISPATCH ||
            (pAttr->typekind == TKIND_INTERFACE && (pAttr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)));
        char szGuid[40], szKey[64];
        if (fRegistered && GuidKeyText(pAttr->guid, szGuid)) {
            _snprintf(szKey, sizeof(szKey), "Interface\\%s", szGuid);
            (void)store.DeleteKeyTree(store.RootKey(eRootClassesRoot), szKey);
        }
        pTypeInfo->ReleaseTypeAttr(pAttr);
    }
}

// 32-bit and 64-bit builds of a library register under one TypeLib key, which 64-bit Windows
// shares between its registry views: each under its own platform subkey (win32, win64) of the
// locale key. What UnRegisterTypeLib does to the other platforms' subkeys is not documented,
// so while another platform's registration remains, only this platform's subkey and this
// view's interface keys are removed here. False when no other registration remains: then
// UnRegisterTypeLib removes the whole registration.
bool UnregisterThisPlatformOnly(ITypeLib* pTypeLib, const TLIBATTR& attr)
{
    const char* pszPlatform = PlatformSubkeyName(attr.syskind);
    char szGuid[40], szLocaleKey[96];
    if (!pszPlatform || !GuidKeyText(attr.guid, szGuid))
        return false;
    // Version and locale in hexadecimal, as RegisterTypeLib names their keys.
    _snprintf(szLocaleKey, sizeof(szLocaleKey), "TypeLib\\%s\\%x.%x\\%lx", szGuid, attr.wMajorVerNum, attr.wMinorVerNum,
              static_cast<unsigned long>(attr.lcid));

    CWindowsRegistryStore store;
    HSTOREKEY hLocale = nullptr;
    if (store.OpenKey(store.RootKey(eRootClassesRoot), szLocaleKey, eAccessReadWrite, &hLocale) != 0)
        return false;
    CStoreKey locale(store, hLocale);
    char szName[CRegistryStore::kcbKeyName];
    bool fOtherPlatform = false;
    for (DWORD i = 0; !fOtherPlatform && store.EnumSubkey(hLocale, i, szName, sizeof(szName)) == 0; ++i)
        fOtherPlatform = !CCodePage::EqualNoCase(szName, pszPlatform);
    if (!fOtherPlatform)
        return false;
    (void)store.DeleteKey(hLocale, pszPlatform);
    RemoveInterfaceKeys(store, pTypeLib);
    return true;
}
}

HRESULT ApplyRegistryScript(CServerModule* pModule, UINT nResourceId, bool bRegister, const ScriptReplacement* pExtra)
{
    CScriptReplacements replacements;
    char szPath[MAX_PATH + 1] = "";
    GetModuleFileNameA(pModule->m_hInstance, szPath, kcchModulePath);
    ChooseScriptPath(pModule, szPath, sizeof(szPath));

    CModuleMemory<OLECHAR> pszPath(CCodePage::DupWide(szPath));
    if (!pszPath.Get())
        return E_OUTOFMEMORY;
    OLECHAR szQuoted[2 * MAX_PATH + 2];
    QuoteForScript(pszPath.Get(), szQuoted, ARRAYSIZE(szQuoted));

    // A pair that cannot be stored shows up in the run as an unknown replacement name.
    (void)replacements.Add(L"Module", szQuoted);
    for (const ScriptReplacement* p = pExtra; p && p->pszName; ++p)
        (void)replacements.Add(p->pszName, p->pszValue);

    CWindowsRegistryStore store;
    CScriptInterpreter interpreter(store, replacements);
    return interpreter.RunFromResource(pszPath.Get(), nResourceId, "REGISTRY", bRegister);
}

HRESULT UpdateClassCategories(REFCLSID rclsid, const CategoryEntry* pCategories, bool bRegister)
{
    if (!pCategories)
        return S_OK;
    CComRef<ICatRegister> pRegister;
    // Without a category manager the categories are skipped.
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                pRegister.ReceiveVoid())))
        return S_OK;
    for (const CategoryEntry* p = pCategories; p->nKind != eCategoryEnd; ++p) {
        if (bRegister)
            RETURN_IF_FAILED(RegisterCategory(pRegister.Get(), rclsid, *p));
        else
            UnregisterCategory(pRegister.Get(), rclsid, *p);
    }
    return S_OK;
}

HRESULT LoadModuleTypeLibrary(CServerModule* pModule, const OLECHAR* pszIndex, ITypeLib** ppTypeLib, BSTR* pbstrPath)
{
    *ppTypeLib = nullptr;
    *pbstrPath = nullptr;
    char szPath[kcchPathRoom] = "";
    GetModuleFileNameA(pModule->m_hInstanceTypeLib, szPath, kcchModulePath);
    if (pszIndex) {
        const size_t cchPath = strlen(szPath);
        if (!CCodePage::ToMultiByte(pszIndex, szPath + cchPath, sizeof(szPath) - cchPath))
            return E_INVALIDARG;
    }

    CComRef<ITypeLib> pTypeLib;
    const HRESULT hr = LoadTypeLibFromPath(szPath, pTypeLib.Receive());
    if (FAILED(hr)) {
        if (!ReplaceWithTypeLibExtension(szPath, sizeof(szPath)))
            return hr;
        RETURN_IF_FAILED(LoadTypeLibFromPath(szPath, pTypeLib.Receive()));
    }

    CModuleMemory<OLECHAR> pszWide(CCodePage::DupWide(szPath));
    CBstr bstrPath(pszWide.Get() ? SysAllocString(pszWide.Get()) : nullptr);
    if (!bstrPath.Get())
        return E_OUTOFMEMORY;
    *ppTypeLib = pTypeLib.Detach();
    *pbstrPath = bstrPath.Detach();
    return S_OK;
}

HRESULT RegisterModuleTypeLibrary(CServerModule* pModule, const OLECHAR* pszIndex)
{
    CComRef<ITypeLib> pTypeLib;
    CBstr bstrPath;
    RETURN_IF_FAILED(LoadModuleTypeLibrary(pModule, pszIndex, pTypeLib.Receive(), bstrPath.Receive()));

    CBstr bstrHelpDir(SysAllocStringLen(bstrPath.Get(), static_cast<UINT>(DirectoryPartLength(bstrPath.Get()))));
    if (!bstrHelpDir.Get())
        return E_OUTOFMEMORY;
    return RegisterTypeLib(pTypeLib.Get(), bstrPath.Get(), bstrHelpDir.Get());
}

HRESULT UnregisterModuleTypeLibrary(CServerModule* pModule, const OLECHAR* pszIndex)
{
    CComRef<ITypeLib> pTypeLib;
    CBstr bstrPath;
    RETURN_IF_FAILED(LoadModuleTypeLibrary(pModule, pszIndex, pTypeLib.Receive(), bstrPath.Receive()));

    TLIBATTR* pAttr = nullptr;
    if (FAILED(pTypeLib->GetLibAttr(&pAttr)))
        return S_OK;
    if (!UnregisterThisPlatformOnly(pTypeLib.Get(), *pAttr)) {
        // Looked up at run time: an automation library without it is no error.
        CScopedLibrary oleAut("oleaut32.dll", 0);
        const auto pfnUnregister =
            oleAut.Get() ? reinterpret_cast<PFNUNREGISTERTYPELIB>(GetProcAddress(oleAut.Get(), "UnRegisterTypeLib"))
                         : nullptr;
        if (pfnUnregister)
            (void)pfnUnregister(pAttr->guid, pAttr->wMajorVerNum, pAttr->wMinorVerNum, pAttr->lcid, pAttr->syskind);
    }
    pTypeLib->ReleaseTLibAttr(pAttr);
    return S_OK;
}

STDAPI DllRegisterServer()
{
    for (const ClassEntry* p = g_module.m_pClassTable; p->pclsid; ++p) {
        if (!IsListed(*p))
            continue;
        RETURN_IF_FAILED(p->pfnUpdateRegistry(TRUE));
        if (p->pfnGetCategories)
            RETURN_IF_FAILED(UpdateClassCategories(*p->pclsid, p->pfnGetCategories(), true));
    }
    return RegisterModuleTypeLibrary(&g_module, nullptr);
}

STDAPI DllUnregisterServer()
{
    for (const ClassEntry* p = g_module.m_pClassTable; p->pclsid; ++p) {
        if (!IsListed(*p))
            continue;
        // Unregistering goes on past a failure, so that as much as possible is removed.
        (void)p->pfnUpdateRegistry(FALSE);
        if (p->pfnGetCategories)
            (void)UpdateClassCategories(*p->pclsid, p->pfnGetCategories(), false);
    }
    (void)UnregisterModuleTypeLibrary(&g_module, nullptr);
    return S_OK;
}
