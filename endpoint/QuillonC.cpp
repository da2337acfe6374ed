// The C interface (QuillonC.h): each handle is a CQuillonHandle, so the functions run on the
// same implementation as the class, returning its HRESULTs instead of bools.
#include "QuillonC.h"

#include "CEndpointList.h"
#include "CQuillonHandle.h"
#include "CQuillonInternal.h"

namespace
{

CQuillonHandle* HandleOf(QUILLON_HANDLE hQuillon)
{
    return reinterpret_cast<CQuillonHandle*>(hQuillon);
}

// The handle's implementation, which Quillon_Create made sure of; null for a null handle.
CQuillonInternal* ImplOf(QUILLON_HANDLE hQuillon)
{
    return hQuillon ? CQuillonInternal::Of(*HandleOf(hQuillon)) : nullptr;
}

HRESULT Initialize(QUILLON_HANDLE hQuillon, CEndpointBinding::eEndpoint endpoint, const char* pszKey)
{
    return hQuillon ? CQuillonInternal::Initialize(*HandleOf(hQuillon), endpoint, pszKey) : E_POINTER;
}

const CEndpointList* ListOf(const QUILLON_ENDPOINT_LIST* pList)
{
    return reinterpret_cast<const CEndpointList*>(pList);
}

}

extern "C" {

HRESULT QUILLON_CALL Quillon_Create(QUILLON_HANDLE* phQuillon)
{
    if (!phQuillon)
        return E_POINTER;
    *phQuillon = nullptr;
    CQuillonHandle* pHandle = new CQuillonHandle;
    if (!pHandle)
        return E_OUTOFMEMORY;
    if (!CQuillonInternal::Of(*pHandle)) {
        delete pHandle;
        return E_OUTOFMEMORY;
    }
    *phQuillon = reinterpret_cast<QUILLON_HANDLE>(pHandle);
    return S_OK;
}

void QUILLON_CALL Quillon_Destroy(QUILLON_HANDLE hQuillon)
{
    delete HandleOf(hQuillon);
}

HRESULT QUILLON_CALL Quillon_InitializeDefault(QUILLON_HANDLE hQuillon)
{
    return Initialize(hQuillon, CEndpointBinding::eDefault, nullptr);
}

HRESULT QUILLON_CALL Quillon_InitializeByKey(QUILLON_HANDLE hQuillon, const char* pszKey)
{
    return Initialize(hQuillon, CEndpointBinding::eByKey, pszKey);
}

HRESULT QUILLON_CALL Quillon_InitializeFollowingDefault(QUILLON_HANDLE hQuillon)
{
    return Initialize(hQuillon, CEndpointBinding::eFollowDefault, nullptr);
}

HRESULT QUILLON_CALL Quillon_GetVolume(QUILLON_HANDLE hQuillon, float* pfLevel)
{
    CQuillonInternal* pImpl = ImplOf(hQuillon);
    return pImpl ? pImpl->GetVolume(pfLevel, true) : E_POINTER;
}

HRESULT QUILLON_CALL Quillon_SetVolume(QUILLON_HANDLE hQuillon, float fLevel)
{
    CQuillonInternal* pImpl = ImplOf(hQuillon);
    return pImpl ? pImpl->SetVolume(fLevel, true) : E_POINTER;
}

HRESULT QUILLON_CALL Quillon_GetVolumeDb(QUILLON_HANDLE hQuillon, float* pfDb)
{
    CQuillonInternal* pImpl = ImplOf(hQuillon);
    return pImpl ? pImpl->GetVolume(pfDb, false) : E_POINTER;
}

HRESULT QUILLON_CALL Quillon_SetVolumeDb(QUILLON_HANDLE hQuillon, float fDb)
{
    CQuillonInternal* pImpl = ImplOf(hQuillon);
    return pImpl ? pImpl->SetVolume(fDb, false) : E_POINTER;
}

HRESULT QUILLON_CALL Quillon_GetMute(QUILLON_HANDLE hQuillon, BOOL* pbMuted)
{
    CQuillonInternal* pImpl = ImplOf(hQuillon);
    return pImpl ? pImpl->GetMute(pbMuted) : E_POINTER;
}

HRESULT QUILLON_CALL Quillon_SetMute(QUILLON_HANDLE hQuillon, BOOL bMute)
{
    CQuillonInternal* pImpl = ImplOf(hQuillon);
    return pImpl ? pImpl->SetMute(bMute ? TRUE : FALSE) : E_POINTER;
}

HRESULT QUILLON_CALL Quillon_SetChangeCallback(QUILLON_HANDLE hQuillon, QUILLON_CHANGE_CALLBACK pfnChanged,
                                               void* pvContext)
{
    return hQuillon ? HandleOf(hQuillon)->SetChangeCallback(pfnChanged, pvContext) : E_POINTER;
}

HRESULT QUILLON_CALL Quillon_ListEndpoints(QUILLON_ENDPOINT_LIST** ppList)
{
    if (!ppList)
        return E_POINTER;
    CEndpointList* pCreated = nullptr;
    const HRESULT hr = CEndpointList::Create(&pCreated);
    *ppList = reinterpret_cast<QUILLON_ENDPOINT_LIST*>(pCreated);
    return hr;
}

UINT32 QUILLON_CALL Quillon_EndpointCount(const QUILLON_ENDPOINT_LIST* pList)
{
    return pList ? ListOf(pList)->Count() : 0;
}

HRESULT QUILLON_CALL Quillon_GetEndpoint(const QUILLON_ENDPOINT_LIST* pList, UINT32 iEndpoint,
                                         QUILLON_ENDPOINT* pEndpoint)
{
    if (!pList || !pEndpoint)
        return E_POINTER;
    const QUILLON_ENDPOINT* pAt = ListOf(pList)->At(iEndpoint);
    if (!pAt)
        return E_INVALIDARG;
    *pEndpoint = *pAt;
    return S_OK;
}

void QUILLON_CALL Quillon_FreeEndpointList(QUILLON_ENDPOINT_LIST* pList)
{
    delete reinterpret_cast<CEndpointList*>(pList);
}
}
