#pragma once

#include "CRegistryStore.h"

// The store over the Windows registry, through its ANSI functions.
class CWindowsRegistryStore : public CRegistryStore
{
public:
    HSTOREKEY RootKey(eRootKey eRoot) override;
    LONG OpenKey(HSTOREKEY hParent, const char* pszName, eKeyAccess eAccess, HSTOREKEY* phKey) override;
    LONG CreateKey(HSTOREKEY hParent, const char* pszName, HSTOREKEY* phKey) override;
    LONG CloseKey(HSTOREKEY hKey) override;
    LONG DeleteKey(HSTOREKEY hParent, const char* pszName) override;
    LONG SetValue(HSTOREKEY hKey, const char* pszName, eValueType eType, const BYTE* pb, DWORD cb) override;
    LONG DeleteValue(HSTOREKEY hKey, const char* pszName) override;
    LONG EnumSubkey(HSTOREKEY hKey, DWORD iIndex, char* pszName, DWORD cbName) override;
    LONG CountSubkeys(HSTOREKEY hKey, DWORD* pcSubkeys) override;
};
