#include "CTypeInfoCache.h"

#include "CComRef.h"
#include "CCriticalSectionLock.h"
#include "CServerModule.h"
#include "ReturnIfFailed.h"

HRESULT CTypeInfoCache::EnsureTypeInfo(LCID lcid)
{
    if (LoadedTypeInfo())
        return S_OK;

    HRESULT hr = S_OK;
    bool bRegisterCleanup = false;
    {
        CCriticalSectionLock lock(g_module.m_csTypeInfo);
        if (!LoadedTypeInfo())
            hr = LoadTypeInfo(lcid);
        // The cache is released at detach; one cleanup entry per process is enough however
        // often a client asks while the type library is not registered.
        bRegisterCleanup = !m_bCleanupRegistered;
        m_bCleanupRegistered = true;
    }
    if (bRegisterCleanup)
        g_module.AddCleanup(&CTypeInfoCache::ReleaseTypeInfo, this);
    return hr;
}

// Runs under the type-information lock.
HRESULT CTypeInfoCache::LoadTypeInfo(LCID lcid)
{
    CComRef<ITypeLib> pTypeLib;
    RETURN_IF_FAILED(LoadRegTypeLib(*m_plibid, m_wMajorVersion, m_wMinorVersion, lcid, pTypeLib.Receive()));
    CComRef<ITypeInfo> pTypeInfo;
    RETURN_IF_FAILED(pTypeLib->GetTypeInfoOfGuid(*m_piid, pTypeInfo.Receive()));
    // Prefer ITypeInfo2 when the type information offers it.
    CComRef<ITypeInfo2> pTypeInfo2;
    (void)pTypeInfo->QueryInterface(IID_ITypeInfo2, pTypeInfo2.ReceiveVoid());
    ITypeInfo* pLoaded = pTypeInfo2 ? pTypeInfo2.Detach() : pTypeInfo.Detach();
    BuildNameCache(pLoaded);
    m_pTypeInfo.store(pLoaded, std::memory_order_release);
    return S_OK;
}

void CTypeInfoCache::BuildNameCache(ITypeInfo* pTypeInfo)
{
    TYPEATTR* pTypeAttr = nullptr;
    if (FAILED(pTypeInfo->GetTypeAttr(&pTypeAttr)))
        return;

    int cFuncs = pTypeAttr->cFuncs;
    NameCacheEntry* pNames = nullptr;
    if (cFuncs > 0) {
        pNames = static_cast<NameCacheEntry*>(ModuleAlloc(sizeof(NameCacheEntry) * cFuncs));
        if (!pNames)
            cFuncs = 0; // no table, no cache: names go to the type information
    }
    for (int i = 0; i < cFuncs; ++i) {
        pNames[i] = NameCacheEntry{nullptr, 0, DISPID_UNKNOWN};
        FUNCDESC* pFuncDesc = nullptr;
        if (FAILED(pTypeInfo->GetFuncDesc(i, &pFuncDesc)))
            continue;
        BSTR bstrName = nullptr;
        if (SUCCEEDED(pTypeInfo->GetDocumentation(pFuncDesc->memid, &bstrName, nullptr, nullptr, nullptr)))
            pNames[i] = NameCacheEntry{bstrName, static_cast<int>(SysStringLen(bstrName)), pFuncDesc->memid};
        pTypeInfo->ReleaseFuncDesc(pFuncDesc);
    }
    m_pNameCache = pNames;
    m_cNameCache = cFuncs;
    pTypeInfo->ReleaseTypeAttr(pTypeAttr);
}

void CTypeInfoCache::ReleaseTypeInfo(void* pCache)
{
    CTypeInfoCache* pThis = static_cast<CTypeInfoCache*>(pCache);
    if (ITypeInfo* pTypeInfo = pThis->m_pTypeInfo.exchange(nullptr))
        pTypeInfo->Release();
    if (pThis->m_pNameCache) {
        for (int i = 0; i < pThis->m_cNameCache; ++i)
            SysFreeString(pThis->m_pNameCache[i].bstrName);
        ModuleFree(pThis->m_pNameCache);
        pThis->m_pNameCache = nullptr;
    }
}

HRESULT CTypeInfoCache::GetTypeInfo(LCID lcid, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_POINTER;
    const HRESULT hr = EnsureTypeInfo(lcid);
    ITypeInfo* pTypeInfo = LoadedTypeInfo();
    *ppTInfo = pTypeInfo;
    if (!pTypeInfo)
        return hr;
    pTypeInfo->AddRef();
    return S_OK;
}

HRESULT CTypeInfoCache::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId)
{
    HRESULT hr = EnsureTypeInfo(lcid);
    ITypeInfo* pTypeInfo = LoadedTypeInfo();
    if (!pTypeInfo)
        return hr;

    for (int i = 0; i < static_cast<int>(cNames); ++i) {
        const int nLength = static_cast<int>(lstrlenW(rgszNames[i]));
        bool bFound = false;
        // Searched from the last entry, so of two functions with one name the later wins.
        for (int j = m_cNameCache - 1; j >= 0 && m_pNameCache; --j) {
            const NameCacheEntry& entry = m_pNameCache[j];
            if (entry.bstrName && entry.nLength == nLength &&
                memcmp(entry.bstrName, rgszNames[i], nLength * sizeof(OLECHAR)) == 0) {
                rgDispId[i] = entry.dispid;
                bFound = true;
                break;
            }
        }
        if (!bFound) {
            hr = pTypeInfo->GetIDsOfNames(rgszNames, cNames, rgDispId);
            if (FAILED(hr))
                return hr;
        }
    }
    return hr;
}

HRESULT CTypeInfoCache::Invoke(IDispatch* pInstance, DISPID dispIdMember, LCID lcid, WORD wFlags,
                               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    const HRESULT hr = EnsureTypeInfo(lcid);
    ITypeInfo* pTypeInfo = LoadedTypeInfo();
    if (!pTypeInfo)
        return hr;
    return pTypeInfo->Invoke(pInstance, dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
}
