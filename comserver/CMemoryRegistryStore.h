#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "CRegistryStore.h"

// A registry kept in memory, for the host build: keys with default and named values, key
// and value names compared without regard to ASCII case, subkeys enumerated in name order.
// Access is enforced as the Windows registry does it: values change only through a handle
// opened for writing, deleting a key needs no rights on its parent's handle, a key with
// subkeys cannot be deleted. Key names are one level (no path parsing), 1 to 255 bytes.
// Tests can make keys read-only or make every key creation fail.
class CMemoryRegistryStore : public CRegistryStore
{
public:
    CMemoryRegistryStore();
    ~CMemoryRegistryStore();
    CMemoryRegistryStore(const CMemoryRegistryStore&) = delete;
    CMemoryRegistryStore& operator=(const CMemoryRegistryStore&) = delete;

    HSTOREKEY RootKey(eRootKey eRoot) override;
    LONG OpenKey(HSTOREKEY hParent, const char* pszName, eKeyAccess eAccess, HSTOREKEY* phKey) override;
    LONG CreateKey(HSTOREKEY hParent, const char* pszName, HSTOREKEY* phKey) override;
    LONG CloseKey(HSTOREKEY hKey) override;
    LONG DeleteKey(HSTOREKEY hParent, const char* pszName) override;
    LONG SetValue(HSTOREKEY hKey, const char* pszName, eValueType eType, const BYTE* pb, DWORD cb) override;
    LONG DeleteValue(HSTOREKEY hKey, const char* pszName) override;
    LONG EnumSubkey(HSTOREKEY hKey, DWORD iIndex, char* pszName, DWORD cbName) override;
    LONG CountSubkeys(HSTOREKEY hKey, DWORD* pcSubkeys) override;

    // Adds the keys of a backslash-separated path that are missing; a read-only key can be
    // opened for reading only, and neither it nor its subkey list nor its values change.
    void AddKey(eRootKey eRoot, const char* pszPath, bool fReadOnly = false);
    void FailKeyCreation(bool fFail) { m_fFailCreation = fFail; }
    size_t OpenHandleCount() const { return m_handles.size(); }
    // Every key holding subkeys or values, one line each in name order:
    //   HKCU\A\B @=s:text Count=d:7 Data=b:0aff
    std::string Dump() const;

private:
    struct LessNoCase
    {
        bool operator()(const std::string& str1, const std::string& str2) const;
    };
    struct Value
    {
        eValueType eType;
        std::string strData;
    };
    struct Node
    {
        std::map<std::string, std::shared_ptr<Node>, LessNoCase> children;
        std::map<std::string, Value, LessNoCase> values;
        bool fReadOnly = false;
        bool fDeleted = false;
    };
    struct Handle
    {
        std::shared_ptr<Node> pNode;
        eKeyAccess eAccess;
    };

    static constexpr int kcRoots = eRootCurrentConfig + 1;

    LONG Resolve(HSTOREKEY hKey, Handle** ppHandle) const;
    LONG ResolveWritable(HSTOREKEY hKey, Node** ppNode) const;
    HSTOREKEY NewHandle(const std::shared_ptr<Node>& pNode, eKeyAccess eAccess);
    static void DumpNode(const Node& node, const std::string& strPath, std::string* pstrOut);

    Handle m_aRoots[kcRoots];
    std::set<Handle*> m_handles;
    bool m_fFailCreation = false;
};
