#include "CWindowsRegistryStore.h"

namespace
{
HKEY ToHkey(HSTOREKEY hKey)
{
    return static_cast<HKEY>(hKey);
}

REGSAM AccessMask(eKeyAccess eAccess)
{
    switch (eAccess) {
    case eAccessRead:
        return KEY_READ;
    case eAccessReadWrite:
        return KEY_READ | KEY_WRITE;
    case eAccessFull:
        break;
    }
    return KEY_ALL_ACCESS;
}
}

HSTOREKEY CWindowsRegistryStore::RootKey(eRootKey eRoot)
{
    switch (eRoot) {
    case eRootClassesRoot:
        return HKEY_CLASSES_ROOT;
    case eRootCurrentUser:
        return HKEY_CURRENT_USER;
    case eRootLocalMachine:
        return HKEY_LOCAL_MACHINE;
    case eRootUsers:
        return HKEY_USERS;
    case eRootPerformanceData:
        return HKEY_PERFORMANCE_DATA;
    case eRootDynData:
        return HKEY_DYN_DATA;
    case eRootCurrentConfig:
        return HKEY_CURRENT_CONFIG;
    case eRootNone:
        break;
    }
    return nullptr;
}

LONG CWindowsRegistryStore::OpenKey(HSTOREKEY hParent, const char* pszName, eKeyAccess eAccess, HSTOREKEY* phKey)
{
    HKEY hKey = nullptr;
    LONG lStatus = RegOpenKeyExA(ToHkey(hParent), pszName, 0, AccessMask(eAccess), &hKey);
    *phKey = hKey;
    return lStatus;
}

LONG CWindowsRegistryStore::CreateKey(HSTOREKEY hParent, const char* pszName, HSTOREKEY* phKey)
{
    HKEY hKey = nullptr;
    LONG lStatus = RegCreateKeyExA(ToHkey(hParent), pszName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                   nullptr, &hKey, nullptr);
    *phKey = hKey;
    return lStatus;
}

LONG CWindowsRegistryStore::CloseKey(HSTOREKEY hKey)
{
    return RegCloseKey(ToHkey(hKey));
}

LONG CWindowsRegistryStore::DeleteKey(HSTOREKEY hParent, const char* pszName)
{
    return RegDeleteKeyA(ToHkey(hParent), pszName);
}

LONG CWindowsRegistryStore::SetValue(HSTOREKEY hKey, const char* pszName, eValueType eType, const BYTE* pb, DWORD cb)
{
    return RegSetValueExA(ToHkey(hKey), pszName, 0, static_cast<DWORD>(eType), pb, cb);
}

LONG CWindowsRegistryStore::DeleteValue(HSTOREKEY hKey, const char* pszName)
{
    return RegDeleteValueA(ToHkey(hKey), pszName);
}

LONG CWindowsRegistryStore::EnumSubkey(HSTOREKEY hKey, DWORD iIndex, char* pszName, DWORD cbName)
{
    DWORD cchName = cbName;
    return RegEnumKeyExA(ToHkey(hKey), iIndex, pszName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

LONG CWindowsRegistryStore::CountSubkeys(HSTOREKEY hKey, DWORD* pcSubkeys)
{
    return RegQueryInfoKeyA(ToHkey(hKey), nullptr, nullptr, nullptr, pcSubkeys, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr);
}
