#pragma once

#include <windows.h>
#include <oaidl.h>

// One cached member name of the interface, answered by GetIDsOfNames without asking the
// type information. An entry without a name never matches.
struct NameCacheEntry
{
    BSTR bstrName;
    int nLength;
    DISPID dispid;
};

// The process-wide type information of an automation interface, loaded once from the
// registered type library and shared by every object that answers IDispatch with it.
// A plain aggregate so that it is initialised statically, without a constructor.
class CTypeInfoCache
{
public:
    HRESULT EnsureTypeInfo(LCID lcid);
    static void ReleaseTypeInfo(void* pCache);

    HRESULT GetTypeInfo(LCID lcid, ITypeInfo** ppTInfo);
    HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
    HRESULT Invoke(IDispatch* pInstance, DISPID dispIdMember, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);

    const IID* m_piid;
    const GUID* m_plibid;
    WORD m_wMajorVersion;
    WORD m_wMinorVersion;
    ITypeInfo* volatile m_pTypeInfo;
    NameCacheEntry* m_pNameCache;
    int m_cNameCache;
    bool m_bCleanupRegistered;

private:
    void BuildNameCache(ITypeInfo* pTypeInfo);
    ITypeInfo* LoadedTypeInfo() const { return m_pTypeInfo; }
};

// The type information of IDeskband, shared by all desk band objects of the process.
extern CTypeInfoCache g_deskbandTypeInfo;
extern "C" const GUID LIBID_VELTRIXLib; // {AA5F1712-1151-4CA8-86A0-A52E6102D6B9}
