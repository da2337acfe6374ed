#include "Registration.h"

#include "CCodePage.h"
#include "CScriptInterpreter.h"
#include "CScriptReplacements.h"
#include "CWindowsRegistryStore.h"
#include "ModulePaths.h"

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

// ICatRegister over the platform's component category manager, released on every path.
class CCategoryManager
{
public:
    CCategoryManager() : m_pRegister(nullptr)
    {
        CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                         reinterpret_cast<void**>(&m_pRegister));
    }
    ~CCategoryManager()
    {
        if (m_pRegister)
            m_pRegister->Release();
    }
    ICatRegister* Get() const { return m_pRegister; }

private:
    CCategoryManager(const CCategoryManager&) = delete;
    CCategoryManager& operator=(const CCategoryManager&) = delete;
    ICatRegister* m_pRegister;
};

HRESULT RegisterCategory(ICatRegister* pRegister, REFCLSID rclsid, const CategoryEntry& entry)
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

HRESULT LoadTypeLibFromPath(const char* pszPath, ITypeLib** ppTypeLib)
{
    OLECHAR* pszWide = CCodePage::DupWide(pszPath);
    if (!pszWide)
        return E_OUTOFMEMORY;
    HRESULT hr = LoadTypeLib(pszWide, ppTypeLib);
    ModuleFree(pszWide);
    return hr;
}

bool IsListed(const ClassEntry& entry)
{
    return !(entry.pfnGetDescription && entry.pfnGetDescription());
}

using PFNUNREGISTERTYPELIB = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
}

HRESULT ApplyRegistryScript(CServerModule* pModule, UINT nResourceId, bool bRegister, const ScriptReplacement* pExtra)
{
    CScriptReplacements replacements;
    char szPath[MAX_PATH + 1] = "";
    GetModuleFileNameA(pModule->m_hInstance, szPath, kcchModulePath);
    ChooseScriptPath(pModule, szPath, sizeof(szPath));

    OLECHAR* pszPath = CCodePage::DupWide(szPath);
    if (!pszPath)
        return E_OUTOFMEMORY;
    OLECHAR szQuoted[2 * MAX_PATH + 2];
    QuoteForScript(pszPath, szQuoted, ARRAYSIZE(szQuoted));

    // A pair that cannot be stored shows up in the run as an unknown replacement name.
    replacements.Add(L"Module", szQuoted);
    for (const ScriptReplacement* p = pExtra; p && p->pszName; ++p)
        replacements.Add(p->pszName, p->pszValue);

    CWindowsRegistryStore store;
    CScriptInterpreter interpreter(store, replacements);
    HRESULT hr = interpreter.RunFromResource(pszPath, nResourceId, "REGISTRY", bRegister);
    ModuleFree(pszPath);
    replacements.Clear();
    return hr;
}

HRESULT UpdateClassCategories(REFCLSID rclsid, const CategoryEntry* pCategories, bool bRegister)
{
    if (!pCategories)
        return S_OK;
    CCategoryManager manager;
    ICatRegister* pRegister = manager.Get();
    if (!pRegister)
        return S_OK; // without a category manager the categories are skipped
    for (const CategoryEntry* p = pCategories; p->nKind != eCategoryEnd; ++p) {
        if (!bRegister) {
            UnregisterCategory(pRegister, rclsid, *p);
            continue;
        }
        HRESULT hr = RegisterCategory(pRegister, rclsid, *p);
        if (FAILED(hr))
            return hr;
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

    HRESULT hr = LoadTypeLibFromPath(szPath, ppTypeLib);
    if (FAILED(hr)) {
        if (!ReplaceWithTypeLibExtension(szPath, sizeof(szPath)))
            return hr;
        hr = LoadTypeLibFromPath(szPath, ppTypeLib);
    }
    if (FAILED(hr))
        return hr;

    OLECHAR* pszWide = CCodePage::DupWide(szPath);
    *pbstrPath = pszWide ? SysAllocString(pszWide) : nullptr;
    ModuleFree(pszWide);
    if (!*pbstrPath) {
        (*ppTypeLib)->Release();
        *ppTypeLib = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT RegisterModuleTypeLibrary(CServerModule* pModule, const OLECHAR* pszIndex)
{
    ITypeLib* pTypeLib = nullptr;
    BSTR bstrPath = nullptr;
    HRESULT hr = LoadModuleTypeLibrary(pModule, pszIndex, &pTypeLib, &bstrPath);
    if (FAILED(hr))
        return hr;

    BSTR bstrHelpDir = SysAllocStringLen(bstrPath, static_cast<UINT>(DirectoryPartLength(bstrPath)));
    hr = bstrHelpDir ? RegisterTypeLib(pTypeLib, bstrPath, bstrHelpDir) : E_OUTOFMEMORY;
    SysFreeString(bstrHelpDir);
    SysFreeString(bstrPath);
    pTypeLib->Release();
    return hr;
}

HRESULT UnregisterModuleTypeLibrary(CServerModule* pModule, const OLECHAR* pszIndex)
{
    ITypeLib* pTypeLib = nullptr;
    BSTR bstrPath = nullptr;
    HRESULT hr = LoadModuleTypeLibrary(pModule, pszIndex, &pTypeLib, &bstrPath);
    if (FAILED(hr))
        return hr;

    TLIBATTR* pAttr = nullptr;
    if (SUCCEEDED(pTypeLib->GetLibAttr(&pAttr))) {
        // Looked up at run time: an automation library without it is no error.
        if (HMODULE hOleAut = LoadLibraryA("oleaut32.dll")) {
            auto pfnUnregister = reinterpret_cast<PFNUNREGISTERTYPELIB>(GetProcAddress(hOleAut, "UnRegisterTypeLib"));
            if (pfnUnregister)
                pfnUnregister(pAttr->guid, pAttr->wMajorVerNum, pAttr->wMinorVerNum, pAttr->lcid, pAttr->syskind);
            FreeLibrary(hOleAut);
        }
        pTypeLib->ReleaseTLibAttr(pAttr);
    }
    SysFreeString(bstrPath);
    pTypeLib->Release();
    return hr;
}

STDAPI DllRegisterServer()
{
    for (const ClassEntry* p = g_module.m_pClassTable; p->pclsid; ++p) {
        if (!IsListed(*p))
            continue;
        HRESULT hr = p->pfnUpdateRegistry(TRUE);
        if (FAILED(hr))
            return hr;
        if (p->pfnGetCategories) {
            hr = UpdateClassCategories(*p->pclsid, p->pfnGetCategories(), true);
            if (FAILED(hr))
                return hr;
        }
    }
    return RegisterModuleTypeLibrary(&g_module, nullptr);
}

STDAPI DllUnregisterServer()
{
    for (const ClassEntry* p = g_module.m_pClassTable; p->pclsid; ++p) {
        if (!IsListed(*p))
            continue;
        p->pfnUpdateRegistry(FALSE);
        if (p->pfnGetCategories)
            UpdateClassCategories(*p->pclsid, p->pfnGetCategories(), false);
    }
    UnregisterModuleTypeLibrary(&g_module, nullptr);
    return S_OK;
}
