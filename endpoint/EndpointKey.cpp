#include "EndpointKey.h"

#include "CComRef.h"
#include "CPropVariant.h"
#include "CoreAudioIds.h"
#include "NarrowName.h"
#include "QuillonC.h"
#include "ReturnIfFailed.h"

namespace
{

char LowerAscii(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

bool EqualIgnoringAsciiCase(const char* pszA, const char* pszB)
{
    for (; *pszA != '\0' || *pszB != '\0'; ++pszA, ++pszB) {
        if (LowerAscii(*pszA) != LowerAscii(*pszB))
            return false;
    }
    return true;
}

// S_OK when the endpoint's key matches, S_FALSE when it does not or holds no text.
HRESULT MatchEndpoint(IMMDevice* pDevice, const char* pszKey)
{
    CComRef<IPropertyStore> pStore;
    RETURN_IF_FAILED(pDevice->OpenPropertyStore(STGM_READ, pStore.Receive()));
    CPropVariant key;
    RETURN_IF_FAILED(pStore->GetValue(kKeyDeviceKey, key.Receive()));
    if (!key.Text())
        return S_FALSE;
    char szKey[kcchNameMax + 1];
    NarrowName(key.Text(), szKey);
    return EqualIgnoringAsciiCase(szKey, pszKey) ? S_OK : S_FALSE;
}

}

HRESULT FindEndpointByKey(IMMDeviceEnumerator* pEnumerator, const char* pszKey, IMMDevice** ppDevice)
{
    *ppDevice = nullptr;
    if (!pszKey)
        return E_POINTER;
    CComRef<IMMDeviceCollection> pCollection;
    RETURN_IF_FAILED(pEnumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, pCollection.Receive()));

    // A count that the call does not deliver stays 0.
    UINT cDevices = 0;
    (void)pCollection->GetCount(&cDevices);
    for (UINT iDevice = 0; iDevice < cDevices; ++iDevice) {
        CComRef<IMMDevice> pDevice;
        RETURN_IF_FAILED(pCollection->Item(iDevice, pDevice.Receive()));
        const HRESULT hr = MatchEndpoint(pDevice.Get(), pszKey);
        RETURN_IF_FAILED(hr);
        if (hr == S_OK) {
            *ppDevice = pDevice.Detach();
            return S_OK;
        }
    }
    return QUILLON_E_NOT_FOUND;
}
