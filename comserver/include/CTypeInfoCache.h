#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>

// The process-wide type information of one automation interface, loaded once from its
// registered type library and shared by every object that answers IDispatch with it. It is
// constant-initialised (a library built on this frame runs no static constructors), loads
// under the module's type-information lock, and is released at detach.
class CTypeInfoCache
{
public:
    constexpr CTypeInfoCache(const GUID& libid, WORD wMajorVersion, WORD wMinorVersion, const IID& iid)
        : m_plibid(&libid), m_wMajorVersion(wMajorVersion), m_wMinorVersion(wMinorVersion), m_piid(&iid),
          m_pTypeInfo(nullptr), m_pNameCache(nullptr), m_cNameCache(0), m_bCleanupRegistered(false)
    {
    }
    CTypeInfoCache(const CTypeInfoCache&) = delete;
    CTypeInfoCache& operator=(const CTypeInfoCache&) = delete;

    // The four IDispatch operations of an object whose interface this cache describes.
    [[nodiscard]] HRESULT GetTypeInfo(LCID lcid, ITypeInfo** ppTInfo);
    [[nodiscard]] HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
    [[nodiscard]] HRESULT Invoke(IDispatch* pInstance, DISPID dispIdMember, LCID lcid, WORD wFlags,
                                 DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);

private:
    // One cached member name, answered by GetIDsOfNames without asking the type information.
    // An entry without a name never matches.
    struct NameCacheEntry
    {
        BSTR bstrName;
        int nLength;
        DISPID dispid;
    };

    [[nodiscard]] HRESULT EnsureTypeInfo(LCID lcid);
    [[nodiscard]] HRESULT LoadTypeInfo(LCID lcid);
    void BuildNameCache(ITypeInfo* pTypeInfo);
    static void ReleaseTypeInfo(void* pCache);
    ITypeInfo* LoadedTypeInfo() const { return m_pTypeInfo.load(std::memory_order_acquire); }

    const GUID* m_plibid;
    WORD m_wMajorVersion;
    WORD m_wMinorVersion;
    const IID* m_piid;
    // Published only once the name cache is complete: readers test it without the lock.
    std::atomic<ITypeInfo*> m_pTypeInfo;
    NameCacheEntry* m_pNameCache;
    int m_cNameCache;
    bool m_bCleanupRegistered;
};
