#pragma once

#include "ScriptPlatform.h"

// A key of the store, reached through a handle. Root keys are always open and never closed.
typedef void* HSTOREKEY;

enum eRootKey
{
    eRootNone,
    eRootClassesRoot,
    eRootCurrentUser,
    eRootLocalMachine,
    eRootUsers,
    eRootPerformanceData,
    eRootDynData,
    eRootCurrentConfig,
};

enum eKeyAccess
{
    eAccessFull,
    eAccessRead,
    eAccessReadWrite,
};

enum eValueType
{
    eValueString = 1,
    eValueBinary = 3,
    eValueNumber = 4,
};

// The key-value store that registry scripts are run against. Every operation that can fail
// gives a status, 0 for success. A value name of null or "" is the key's default value.
class CRegistryStore
{
public:
    // Longest key name in bytes with its NUL: 255 characters of up to two bytes each.
    static constexpr size_t kcbKeyName = 512;

    virtual HSTOREKEY RootKey(eRootKey eRoot) = 0;
    virtual LONG OpenKey(HSTOREKEY hParent, const char* pszName, eKeyAccess eAccess, HSTOREKEY* phKey) = 0;
    // Opens the child with full access, creating it when missing.
    virtual LONG CreateKey(HSTOREKEY hParent, const char* pszName, HSTOREKEY* phKey) = 0;
    virtual LONG CloseKey(HSTOREKEY hKey) = 0;
    // Deletes a child that has no subkeys, with its values.
    virtual LONG DeleteKey(HSTOREKEY hParent, const char* pszName) = 0;
    virtual LONG SetValue(HSTOREKEY hKey, const char* pszName, eValueType eType, const BYTE* pb, DWORD cb) = 0;
    virtual LONG DeleteValue(HSTOREKEY hKey, const char* pszName) = 0;
    // The name of the subkey at iIndex, into cbName bytes.
    virtual LONG EnumSubkey(HSTOREKEY hKey, DWORD iIndex, char* pszName, DWORD cbName) = 0;
    virtual LONG CountSubkeys(HSTOREKEY hKey, DWORD* pcSubkeys) = 0;

    static eRootKey RootKeyFromName(const char* pszName);
    // Deletes the child and everything below it.
    LONG DeleteKeyTree(HSTOREKEY hParent, const char* pszName);
    // A failing query counts as no subkeys.
    bool KeyHasSubkeys(HSTOREKEY hKey);

protected:
    ~CRegistryStore() = default;
};
