#include <gtest/gtest.h>

#include "QuillonTest.h"

#include <mmdeviceapi.h>

#include <string>

namespace
{

const PROPERTYKEY kKeyDeviceName = {{0x233164C8, 0x1B2C, 0x4C7D, {0xBC, 0x68, 0xB6, 0x71, 0x68, 0x7A, 0x25, 0x67}}, 1};

// The default render endpoint's match key as the runtime reports it, narrowed to its low bytes.
std::string DefaultDeviceKey()
{
    std::string strKey;
    IMMDeviceEnumerator* pEnumerator = nullptr;
    IMMDevice* pDevice = nullptr;
    IPropertyStore* pStore = nullptr;
    PROPVARIANT value;
    PropVariantInit(&value);
    HRESULT hr =
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&pEnumerator));
    if (SUCCEEDED(hr) && SUCCEEDED(pEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, &pDevice)) &&
        SUCCEEDED(pDevice->OpenPropertyStore(STGM_READ, &pStore)) &&
        SUCCEEDED(pStore->GetValue(kKeyDeviceName, &value)) && value.vt == VT_LPWSTR) {
        for (LPCWSTR pwch = value.pwszVal; *pwch; ++pwch)
            strKey += static_cast<char>(*pwch & 0xFF);
    }
    PropVariantClear(&value);
    IUnknown* rgpUnknown[] = {pStore, pDevice, pEnumerator};
    for (IUnknown* pUnknown : rgpUnknown) {
        if (pUnknown)
            pUnknown->Release();
    }
    return strKey;
}

// The Wine prefix's own audio service (an ALSA null device) through the real runtime; the
// name search there proves the match key is the one the platform publishes, and the list holds
// the default endpoint under that key with a name. Following the default registers with the
// platform and lets go of it again.
TEST(WineCoreAudio, OpensTheDefaultEndpointAndFindsItByItsKey)
{
    CQuillon quillon;
    ASSERT_TRUE(quillon.Initialize(eFindDefault, nullptr));
    float fLevel = -1.0f;
    bool bMuted = false;
    EXPECT_TRUE(quillon.GetVolume(&fLevel, true));
    EXPECT_GE(fLevel, 0.0f);
    EXPECT_TRUE(quillon.GetVolume(&fLevel, false));
    EXPECT_TRUE(quillon.GetMute(&bMuted));
    EXPECT_TRUE(quillon.SetMute(bMuted));

    std::string strKey = DefaultDeviceKey();
    ASSERT_FALSE(strKey.empty());
    EXPECT_TRUE(quillon.Initialize(eFindByName, strKey.c_str()));
    EXPECT_FALSE(quillon.Initialize(eFindByName, (strKey + "?").c_str()));
    EXPECT_TRUE(quillon.InitializeFollowingDefault());

    QUILLON_ENDPOINT_LIST* pList = nullptr;
    ASSERT_EQ(Quillon_ListEndpoints(&pList), S_OK);
    QUILLON_ENDPOINT endpoint = {};
    for (UINT32 i = 0; Quillon_GetEndpoint(pList, i, &endpoint) == S_OK && !endpoint.bDefault; ++i) {
    }
    EXPECT_TRUE(endpoint.bDefault);
    EXPECT_EQ(endpoint.pszKey, strKey);
    EXPECT_STRNE(endpoint.pszName, "");
    Quillon_FreeEndpointList(pList);
}

// Initialize enters COM on its thread for the length of the call only: on a thread outside COM
// it opens the platform's endpoint (whose objects then serve every thread) and leaves the
// thread outside COM again.
TEST(WineCoreAudio, InitializeOnAThreadOutsideComLeavesItOutside)
{
    CQuillon quillon;
    RunOnThread([&] {
        EXPECT_EQ(Apartment(), -1);
        EXPECT_TRUE(quillon.Initialize(eFindDefault, nullptr));
        EXPECT_EQ(Apartment(), -1);
    });
    bool bMuted = false;
    EXPECT_TRUE(quillon.GetMute(&bMuted));
}

}
