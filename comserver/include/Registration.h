#pragma once

#include <windows.h>
#include <oleauto.h>

#include "ClassEntry.h"
#include "CServerModule.h"

// An extra %NAME% replacement for a registry script; an array of them ends with a null name.
struct ScriptReplacement
{
    const OLECHAR* pszName;
    const OLECHAR* pszValue;
};

// Runs the REGISTRY resource nResourceId of the module in its register or unregister pass,
// with the module's own path as "Module" and the extra replacements after it.
[[nodiscard]] HRESULT ApplyRegistryScript(CServerModule* pModule, UINT nResourceId, bool bRegister,
                                          const ScriptReplacement* pExtra);
// Registers or unregisters the class's component categories (pCategories may be null).
[[nodiscard]] HRESULT UpdateClassCategories(REFCLSID rclsid, const CategoryEntry* pCategories, bool bRegister);
// Loads the module's type library, from the module file or else from a ".tlb" beside it;
// *pbstrPath receives the path it was loaded from.
[[nodiscard]] HRESULT LoadModuleTypeLibrary(CServerModule* pModule, const OLECHAR* pszIndex, ITypeLib** ppTypeLib,
                                            BSTR* pbstrPath);
[[nodiscard]] HRESULT RegisterModuleTypeLibrary(CServerModule* pModule, const OLECHAR* pszIndex);
[[nodiscard]] HRESULT UnregisterModuleTypeLibrary(CServerModule* pModule, const OLECHAR* pszIndex);
