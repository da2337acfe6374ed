#include "CEndpointList.h"

#include <string.h>

#include <new>

#include "CCoTaskMemString.h"
#include "CComRef.h"
#include "CComScope.h"
#include "CPropVariant.h"
#include "CoreAudioIds.h"
#include "NarrowName.h"
#include "ReturnIfFailed.h"

namespace
{

[[nodiscard]] HRESULT CopyText(LPCWSTR pwszText, std::unique_ptr<WCHAR[]>* ppwszCopy)
{
    const size_t cch = wcslen(pwszText) + 1;
    ppwszCopy->reset(new (std::nothrow) WCHAR[cch]);
    if (!*ppwszCopy)
        return E_OUTOFMEMORY;
    memcpy(ppwszCopy->get(), pwszText, cch * sizeof(WCHAR));
    return S_OK;
}

[[nodiscard]] HRESULT NarrowText(LPCWSTR pwszText, std::unique_ptr<char[]>* ppszNarrow)
{
    ppszNarrow->reset(new (std::nothrow) char[kcchNameMax + 1]);
    if (!*ppszNarrow)
        return E_OUTOFMEMORY;
    NarrowName(pwszText, ppszNarrow->get());
    return S_OK;
}

[[nodiscard]] HRESULT Utf8Text(LPCWSTR pwszText, std::unique_ptr<char[]>* ppszUtf8)
{
    const int cb = WideCharToMultiByte(CP_UTF8, 0, pwszText, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return HRESULT_FROM_WIN32(GetLastError());
    ppszUtf8->reset(new (std::nothrow) char[cb]);
    if (!*ppszUtf8)
        return E_OUTOFMEMORY;
    if (WideCharToMultiByte(CP_UTF8, 0, pwszText, -1, ppszUtf8->get(), cb, nullptr, nullptr) != cb)
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

}

HRESULT CEndpointList::Create(CEndpointList** ppList)
{
    *ppList = nullptr;
    CComScope com(COINIT_APARTMENTTHREADED);
    CComRef<IMMDeviceEnumerator> pEnumerator;
    RETURN_IF_FAILED(CoCreateInstance(kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER, kIidMMDeviceEnumerator,
                                      pEnumerator.ReceiveVoid()));
    CComRef<IMMDeviceCollection> pCollection;
    RETURN_IF_FAILED(pEnumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, pCollection.Receive()));
    UINT cDevices = 0;
    RETURN_IF_FAILED(pCollection->GetCount(&cDevices));

    // Without a default endpoint none is marked as the default.
    CComRef<IMMDevice> pDefault;
    CCoTaskMemString strDefaultId;
    if (SUCCEEDED(pEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, pDefault.Receive())))
        (void)pDefault->GetId(strDefaultId.Receive());

    std::unique_ptr<CEndpointList> pList(new (std::nothrow) CEndpointList);
    if (!pList)
        return E_OUTOFMEMORY;
    pList->m_rgEntries.reset(new (std::nothrow) CEntry[cDevices]);
    if (!pList->m_rgEntries)
        return E_OUTOFMEMORY;
    for (; pList->m_cEndpoints < cDevices; ++pList->m_cEndpoints) {
        CComRef<IMMDevice> pDevice;
        RETURN_IF_FAILED(pCollection->Item(pList->m_cEndpoints, pDevice.Receive()));
        RETURN_IF_FAILED(Read(pDevice.Get(), strDefaultId.Get(), &pList->m_rgEntries[pList->m_cEndpoints]));
    }
    *ppList = pList.release();
    return S_OK;
}

HRESULT CEndpointList::Read(IMMDevice* pDevice, LPCWSTR pwszDefaultId, CEntry* pEntry)
{
    CComRef<IPropertyStore> pStore;
    RETURN_IF_FAILED(pDevice->OpenPropertyStore(STGM_READ, pStore.Receive()));
    CPropVariant key;
    CPropVariant name;
    RETURN_IF_FAILED(pStore->GetValue(kKeyDeviceKey, key.Receive()));
    RETURN_IF_FAILED(pStore->GetValue(kKeyFriendlyName, name.Receive()));
    CCoTaskMemString strId;
    RETURN_IF_FAILED(pDevice->GetId(strId.Receive()));

    LPCWSTR pwszKey = key.Text() ? key.Text() : L"";
    LPCWSTR pwszName = name.Text() ? name.Text() : L"";
    RETURN_IF_FAILED(NarrowText(pwszKey, &pEntry->pszKey));
    RETURN_IF_FAILED(CopyText(pwszKey, &pEntry->pwszKey));
    RETURN_IF_FAILED(Utf8Text(pwszName, &pEntry->pszName));
    RETURN_IF_FAILED(CopyText(pwszName, &pEntry->pwszName));
    const bool bDefault = pwszDefaultId && wcscmp(strId.Get(), pwszDefaultId) == 0;
    pEntry->endpoint = QUILLON_ENDPOINT{pEntry->pszKey.get(), pEntry->pwszKey.get(), pEntry->pszName.get(),
                                        pEntry->pwszName.get(), bDefault ? TRUE : FALSE};
    return S_OK;
}

const QUILLON_ENDPOINT* CEndpointList::At(UINT32 iEndpoint) const
{
    return iEndpoint < m_cEndpoints ? &m_rgEntries[iEndpoint].endpoint : nullptr;
}
