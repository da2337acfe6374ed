#include "CMemoryRegistryStore.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace
{
const size_t kcbLongestName = 255;
const char* const s_apszRootNames[] = {"", "HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKDD", "HKCC"};

char FoldAscii(char ch)
{
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

bool IsValidKeyName(const char* pszName)
{
    size_t cb = pszName ? std::strlen(pszName) : 0;
    return cb > 0 && cb <= kcbLongestName;
}

std::string ValueName(const char* pszName)
{
    return pszName ? pszName : "";
}
}

bool CMemoryRegistryStore::LessNoCase::operator()(const std::string& str1, const std::string& str2) const
{
    size_t cch = str1.size() < str2.size() ? str1.size() : str2.size();
    for (size_t i = 0; i < cch; ++i) {
        unsigned char ch1 = static_cast<unsigned char>(FoldAscii(str1[i]));
        unsigned char ch2 = static_cast<unsigned char>(FoldAscii(str2[i]));
        if (ch1 != ch2)
            return ch1 < ch2;
    }
    return str1.size() < str2.size();
}

CMemoryRegistryStore::CMemoryRegistryStore()
{
    for (Handle& root : m_aRoots) {
        root.pNode = std::make_shared<Node>();
        root.eAccess = eAccessFull;
    }
}

CMemoryRegistryStore::~CMemoryRegistryStore()
{
    for (Handle* pHandle : m_handles)
        delete pHandle;
}

HSTOREKEY CMemoryRegistryStore::RootKey(eRootKey eRoot)
{
    return eRoot != eRootNone ? &m_aRoots[eRoot] : nullptr;
}

LONG CMemoryRegistryStore::Resolve(HSTOREKEY hKey, Handle** ppHandle) const
{
    Handle* pHandle = static_cast<Handle*>(hKey);
    bool fRoot = pHandle >= m_aRoots + 1 && pHandle < m_aRoots + kcRoots;
    if (!fRoot && m_handles.count(pHandle) == 0)
        return ERROR_INVALID_HANDLE;
    if (pHandle->pNode->fDeleted)
        return ERROR_KEY_DELETED;
    *ppHandle = pHandle;
    return ERROR_SUCCESS;
}

LONG CMemoryRegistryStore::ResolveWritable(HSTOREKEY hKey, Node** ppNode) const
{
    Handle* pHandle = nullptr;
    LONG lStatus = Resolve(hKey, &pHandle);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    if (pHandle->eAccess == eAccessRead || pHandle->pNode->fReadOnly)
        return ERROR_ACCESS_DENIED;
    *ppNode = pHandle->pNode.get();
    return ERROR_SUCCESS;
}

HSTOREKEY CMemoryRegistryStore::NewHandle(const std::shared_ptr<Node>& pNode, eKeyAccess eAccess)
{
    Handle* pHandle = new Handle{pNode, eAccess};
    m_handles.insert(pHandle);
    return pHandle;
}

LONG CMemoryRegistryStore::OpenKey(HSTOREKEY hParent, const char* pszName, eKeyAccess eAccess, HSTOREKEY* phKey)
{
    Handle* pParent = nullptr;
    LONG lStatus = Resolve(hParent, &pParent);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    if (!IsValidKeyName(pszName))
        return ERROR_INVALID_PARAMETER;
    auto it = pParent->pNode->children.find(pszName);
    if (it == pParent->pNode->children.end())
        return ERROR_FILE_NOT_FOUND;
    if (eAccess != eAccessRead && it->second->fReadOnly)
        return ERROR_ACCESS_DENIED;
    *phKey = NewHandle(it->second, eAccess);
    return ERROR_SUCCESS;
}

LONG CMemoryRegistryStore::CreateKey(HSTOREKEY hParent, const char* pszName, HSTOREKEY* phKey)
{
    Handle* pParent = nullptr;
    LONG lStatus = Resolve(hParent, &pParent);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    if (!IsValidKeyName(pszName))
        return ERROR_INVALID_PARAMETER;
    auto it = pParent->pNode->children.find(pszName);
    if (it != pParent->pNode->children.end()) {
        if (it->second->fReadOnly)
            return ERROR_ACCESS_DENIED;
        *phKey = NewHandle(it->second, eAccessFull);
        return ERROR_SUCCESS;
    }
    Node* pNode = nullptr;
    lStatus = ResolveWritable(hParent, &pNode);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    if (m_fFailCreation)
        return ERROR_CANTWRITE;
    std::shared_ptr<Node> pChild = std::make_shared<Node>();
    pNode->children[pszName] = pChild;
    *phKey = NewHandle(pChild, eAccessFull);
    return ERROR_SUCCESS;
}

LONG CMemoryRegistryStore::CloseKey(HSTOREKEY hKey)
{
    Handle* pHandle = static_cast<Handle*>(hKey);
    if (pHandle >= m_aRoots && pHandle < m_aRoots + kcRoots)
        return ERROR_SUCCESS;
    if (m_handles.erase(pHandle) == 0)
        return ERROR_INVALID_HANDLE;
    delete pHandle;
    return ERROR_SUCCESS;
}

LONG CMemoryRegistryStore::DeleteKey(HSTOREKEY hParent, const char* pszName)
{
    Handle* pParent = nullptr;
    LONG lStatus = Resolve(hParent, &pParent);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    if (!IsValidKeyName(pszName))
        return ERROR_INVALID_PARAMETER;
    Node& parent = *pParent->pNode;
    auto it = parent.children.find(pszName);
    if (it == parent.children.end())
        return ERROR_FILE_NOT_FOUND;
    if (parent.fReadOnly || it->second->fReadOnly || !it->second->children.empty())
        return ERROR_ACCESS_DENIED;
    it->second->fDeleted = true;
    parent.children.erase(it);
    return ERROR_SUCCESS;
}

LONG CMemoryRegistryStore::SetValue(HSTOREKEY hKey, const char* pszName, eValueType eType, const BYTE* pb, DWORD cb)
{
    Node* pNode = nullptr;
    LONG lStatus = ResolveWritable(hKey, &pNode);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    pNode->values[ValueName(pszName)] = Value{eType, std::string(reinterpret_cast<const char*>(pb), cb)};
    return ERROR_SUCCESS;
}

LONG CMemoryRegistryStore::DeleteValue(HSTOREKEY hKey, const char* pszName)
{
    Node* pNode = nullptr;
    LONG lStatus = ResolveWritable(hKey, &pNode);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    return pNode->values.erase(ValueName(pszName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG CMemoryRegistryStore::EnumSubkey(HSTOREKEY hKey, DWORD iIndex, char* pszName, DWORD cbName)
{
    Handle* pHandle = nullptr;
    LONG lStatus = Resolve(hKey, &pHandle);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    const auto& children = pHandle->pNode->children;
    if (iIndex >= children.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string& strName = std::next(children.begin(), iIndex)->first;
    if (strName.size() >= cbName)
        return ERROR_MORE_DATA;
    std::memcpy(pszName, strName.c_str(), strName.size() + 1);
    return ERROR_SUCCESS;
}

LONG CMemoryRegistryStore::CountSubkeys(HSTOREKEY hKey, DWORD* pcSubkeys)
{
    Handle* pHandle = nullptr;
    LONG lStatus = Resolve(hKey, &pHandle);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    *pcSubkeys = static_cast<DWORD>(pHandle->pNode->children.size());
    return ERROR_SUCCESS;
}

void CMemoryRegistryStore::AddKey(eRootKey eRoot, const char* pszPath, bool fReadOnly)
{
    std::shared_ptr<Node> pNode = m_aRoots[eRoot].pNode;
    std::string strPath = pszPath;
    for (size_t iStart = 0; iStart <= strPath.size();) {
        size_t iEnd = strPath.find('\\', iStart);
        if (iEnd == std::string::npos)
            iEnd = strPath.size();
        std::shared_ptr<Node>& pChild = pNode->children[strPath.substr(iStart, iEnd - iStart)];
        if (!pChild)
            pChild = std::make_shared<Node>();
        pNode = pChild;
        iStart = iEnd + 1;
    }
    pNode->fReadOnly = fReadOnly;
}

std::string CMemoryRegistryStore::Dump() const
{
    std::string strOut;
    for (int i = eRootNone + 1; i < kcRoots; ++i)
        DumpNode(*m_aRoots[i].pNode, s_apszRootNames[i], &strOut);
    return strOut;
}

void CMemoryRegistryStore::DumpNode(const Node& node, const std::string& strPath, std::string* pstrOut)
{
    bool fRoot = strPath.find('\\') == std::string::npos;
    if (!fRoot || !node.values.empty()) {
        *pstrOut += strPath;
        for (const auto& value : node.values) {
            *pstrOut += " " + (value.first.empty() ? std::string("@") : value.first) + "=";
            const std::string& strData = value.second.strData;
            if (value.second.eType == eValueString) {
                *pstrOut += "s:" + std::string(strData.c_str());
            } else if (value.second.eType == eValueNumber && strData.size() == 4) {
                const unsigned char* pb = reinterpret_cast<const unsigned char*>(strData.data());
                *pstrOut +=
                    "d:" + std::to_string(pb[0] | pb[1] << 8 | pb[2] << 16 | static_cast<unsigned long>(pb[3]) << 24);
            } else {
                *pstrOut += "b:";
                for (unsigned char b : strData) {
                    char szHex[3];
                    std::snprintf(szHex, sizeof(szHex), "%02x", b);
                    *pstrOut += szHex;
                }
            }
        }
        *pstrOut += "\n";
    }
    for (const auto& child : node.children)
        DumpNode(*child.second, strPath + "\\" + child.first, pstrOut);
}
