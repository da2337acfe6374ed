#include "CQuillonInternal.h"

#include "CAudioQuillonCallback.h"
#include "CComRef.h"
#include "NarrowName.h"

namespace
{

const CLSID kClsidMMDeviceEnumerator = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
const IID kIidMMDeviceEnumerator = {0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
const IID kIidAudioEndpointVolume = {0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};

// The endpoint property that names it for eFindByName (not its friendly name).
const PROPERTYKEY kKeyDeviceName = {{0x233164C8, 0x1B2C, 0x4C7D, {0xBC, 0x68, 0xB6, 0x71, 0x68, 0x7A, 0x25, 0x67}}, 1};

enum eMatch
{
    eMatchNo,
    eMatchYes,
    eMatchFailed
};

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

eMatch MatchDevice(IMMDevice* pDevice, const char* pszName)
{
    CComRef<IPropertyStore> pStore;
    if (FAILED(pDevice->OpenPropertyStore(STGM_READ, &pStore)))
        return eMatchFailed;

    PROPVARIANT value;
    PropVariantInit(&value);
    if (FAILED(pStore->GetValue(kKeyDeviceName, &value)))
        return eMatchFailed;

    bool bHasText = value.vt == VT_LPWSTR && value.pwszVal;
    char szName[kcchNameMax + 1] = "";
    if (bHasText)
        NarrowName(value.pwszVal, szName);
    PropVariantClear(&value);
    return (bHasText && EqualIgnoringAsciiCase(szName, pszName)) ? eMatchYes : eMatchNo;
}

}

CQuillonInternal::CQuillonInternal()
    : m_pOwner(nullptr), m_pEnumerator(nullptr), m_pDevice(nullptr), m_pVolume(nullptr), m_guidEventContext(),
      m_pCallback(new CAudioQuillonCallback), m_bRegistered(false), m_cShare(1)
{
    // After the only allocation, so that a failed construction leaves COM as it was.
    CoInitialize(nullptr);
}

CQuillonInternal::~CQuillonInternal()
{
    m_pCallback->Disarm();
    ReleaseEndpoint();
    m_pCallback->Release();
    CoUninitialize();
}

bool CQuillonInternal::Initialize(eFindDevice eFind, const char* pszName)
{
    CoInitialize(nullptr);
    ReleaseEndpoint();

    if (FAILED(CoCreateGuid(&m_guidEventContext)))
        return false;
    m_pCallback->Arm(m_pOwner, m_guidEventContext);

    if (FAILED(CoCreateInstance(kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER, kIidMMDeviceEnumerator,
                                reinterpret_cast<void**>(&m_pEnumerator))))
        return false;
    if (!ChooseEndpoint(eFind, pszName))
        return false;
    if (FAILED(m_pDevice->Activate(kIidAudioEndpointVolume, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&m_pVolume))))
        return false;
    if (FAILED(m_pVolume->RegisterControlChangeNotify(m_pCallback)))
        return false;
    m_bRegistered = true;
    return true;
}

void CQuillonInternal::AddShare()
{
    InterlockedIncrement(&m_cShare);
}

void CQuillonInternal::Leave(CQuillon* pObject)
{
    if (pObject == m_pOwner) {
        m_pOwner = nullptr;
        m_pCallback->Disarm();
        Unregister();
    }
    if (InterlockedDecrement(&m_cShare) == 0)
        delete this;
}

void CQuillonInternal::Unregister()
{
    if (m_bRegistered) {
        m_pVolume->UnregisterControlChangeNotify(m_pCallback);
        m_bRegistered = false;
    }
}

// Drops what an earlier Initialize set up, unregistering before anything is released.
void CQuillonInternal::ReleaseEndpoint()
{
    Unregister();
    if (m_pEnumerator) {
        m_pEnumerator->Release();
        m_pEnumerator = nullptr;
    }
    if (m_pDevice) {
        m_pDevice->Release();
        m_pDevice = nullptr;
    }
    if (m_pVolume) {
        m_pVolume->Release();
        m_pVolume = nullptr;
    }
}

bool CQuillonInternal::ChooseEndpoint(eFindDevice eFind, const char* pszName)
{
    if (eFind == eFindByName) {
        m_pDevice = FindByName(pszName);
        return m_pDevice != nullptr;
    }
    return SUCCEEDED(m_pEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, &m_pDevice));
}

// The first active render endpoint whose name matches; a failing platform call ends the
// search without a result.
IMMDevice* CQuillonInternal::FindByName(const char* pszName)
{
    CComRef<IMMDeviceCollection> pCollection;
    if (!pszName || FAILED(m_pEnumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &pCollection)))
        return nullptr;

    UINT cDevices = 0;
    pCollection->GetCount(&cDevices);
    for (UINT iDevice = 0; iDevice < cDevices; ++iDevice) {
        CComRef<IMMDevice> pDevice;
        if (FAILED(pCollection->Item(iDevice, &pDevice)))
            return nullptr;
        eMatch match = MatchDevice(pDevice.Get(), pszName);
        if (match == eMatchYes)
            return pDevice.Detach();
        if (match == eMatchFailed)
            return nullptr;
    }
    return nullptr;
}
