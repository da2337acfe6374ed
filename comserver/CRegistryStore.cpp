#include "CRegistryStore.h"

#include "CCodePage.h"
#include "CStoreKey.h"

namespace
{
struct RootName
{
    const char* pszName;
    eRootKey eRoot;
};

// Short forms first, then the long forms.
const RootName s_aRootNames[] = {
    {"HKCR", eRootClassesRoot},
    {"HKCU", eRootCurrentUser},
    {"HKLM", eRootLocalMachine},
    {"HKU", eRootUsers},
    {"HKPD", eRootPerformanceData},
    {"HKDD", eRootDynData},
    {"HKCC", eRootCurrentConfig},
    {"HKEY_CLASSES_ROOT", eRootClassesRoot},
    {"HKEY_CURRENT_USER", eRootCurrentUser},
    {"HKEY_LOCAL_MACHINE", eRootLocalMachine},
    {"HKEY_USERS", eRootUsers},
    {"HKEY_PERFORMANCE_DATA", eRootPerformanceData},
    {"HKEY_DYN_DATA", eRootDynData},
    {"HKEY_CURRENT_CONFIG", eRootCurrentConfig},
};
}

eRootKey CRegistryStore::RootKeyFromName(const char* pszName)
{
    for (const RootName& root : s_aRootNames)
        if (CCodePage::EqualNoCase(pszName, root.pszName))
            return root.eRoot;
    return eRootNone;
}

LONG CRegistryStore::DeleteKeyTree(HSTOREKEY hParent, const char* pszName)
{
    HSTOREKEY hKey = nullptr;
    LONG lStatus = OpenKey(hParent, pszName, eAccessReadWrite, &hKey);
    if (lStatus != 0)
        return lStatus;
    CStoreKey key(*this, hKey);
    char szSubkey[kcbKeyName];
    while (EnumSubkey(key.Get(), 0, szSubkey, sizeof(szSubkey)) == 0) {
        lStatus = DeleteKeyTree(key.Get(), szSubkey);
        if (lStatus != 0)
            return lStatus;
    }
    key.Close();
    return DeleteKey(hParent, pszName);
}

bool CRegistryStore::KeyHasSubkeys(HSTOREKEY hKey)
{
    DWORD cSubkeys = 0;
    return CountSubkeys(hKey, &cSubkeys) == 0 && cSubkeys > 0;
}
