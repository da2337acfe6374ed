#pragma once

#include "CRegistryStore.h"

// Owns one open key of a store and closes it on every path.
class CStoreKey
{
public:
    explicit CStoreKey(CRegistryStore& store, HSTOREKEY hKey = nullptr) : m_store(store), m_hKey(hKey) {}
    ~CStoreKey() { Close(); }
    CStoreKey(const CStoreKey&) = delete;
    CStoreKey& operator=(const CStoreKey&) = delete;

    HSTOREKEY Get() const { return m_hKey; }
    void Reset(HSTOREKEY hKey)
    {
        Close();
        m_hKey = hKey;
    }
    LONG Close()
    {
        HSTOREKEY hKey = m_hKey;
        m_hKey = nullptr;
        return hKey ? m_store.CloseKey(hKey) : 0;
    }

private:
    CRegistryStore& m_store;
    HSTOREKEY m_hKey;
};
