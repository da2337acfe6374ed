#include "CQuillonInternal.h"

#include "CAudioQuillonCallback.h"
#include "CComRef.h"
#include "NarrowName.h"

#include <new>

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
    if (FAILED(pDevice->OpenPropertyStore(STGM_READ, pStore.Receive())))
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

// COM on the calling thread for one scope: what it added (S_OK or S_FALSE) it gives back there.
class CComScope
{
public:
    CComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }

private:
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

    HRESULT m_hr;
};

// What an implementation lets go of in one go: first the registration of a callback ends,
// then each reference is dropped in order.
struct CLetGo
{
    // References, or nulls: the volume control that pCallback is registered with, the callback,
    // and the endpoint objects (enumerator, device, volume control).
    IAudioEndpointVolume* pRegisteredWith;
    CAudioQuillonCallback* pCallback;
    IUnknown* rgpObject[3];
    // On a thread-pool thread: the reference that keeps this library loaded until it is done.
    HMODULE hModule;

    void Run()
    {
        if (pRegisteredWith)
            pRegisteredWith->UnregisterControlChangeNotify(pCallback);
        if (pCallback)
            pCallback->Release();
        if (pRegisteredWith)
            pRegisteredWith->Release();
        for (IUnknown* pObject : rgpObject) {
            if (pObject)
                pObject->Release();
        }
    }
};

VOID CALLBACK RunOnThreadPool(PTP_CALLBACK_INSTANCE pInstance, void* pvLetGo)
{
    CLetGo* pLetGo = static_cast<CLetGo*>(pvLetGo);
    HMODULE hModule = pLetGo->hModule;
    pLetGo->Run();
    delete pLetGo;
    FreeLibraryWhenCallbackReturns(pInstance, hModule);
}

// Outside a delivery the work is done here and now. Inside one, the platform forbids
// unregistering and final releases and this thread must not wait, so it goes to a thread-pool
// thread, which holds a reference to this library until it returns (the host may unload the
// library as soon as its object is gone). Should that be impossible (no memory, no pool), the
// references are kept and the library stays loaded for good: the callback is disarmed
// already, so a leak is all that follows.
void Dispatch(const CLetGo& letGo)
{
    if (!CAudioQuillonCallback::InDelivery()) {
        CLetGo now = letGo;
        now.Run();
        return;
    }
    LPCWSTR pszInThisModule = reinterpret_cast<LPCWSTR>(&kIidAudioEndpointVolume);
    CLetGo* pLetGo = new (std::nothrow) CLetGo(letGo);
    if (pLetGo && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, pszInThisModule, &pLetGo->hModule)) {
        if (TrySubmitThreadpoolCallback(RunOnThreadPool, pLetGo, nullptr))
            return;
    } else {
        HMODULE hModule = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN, pszInThisModule,
                           &hModule);
    }
    delete pLetGo;
}

}

CQuillonInternal* CQuillonInternal::Create(CQuillon* pOwner)
{
    return new (std::nothrow) CQuillonInternal(pOwner);
}

// Nothing here can fail, so COM is entered only once the implementation exists.
CQuillonInternal::CQuillonInternal(CQuillon* pOwner)
    : m_pVolume(nullptr), m_guidEventContext(), m_pOwner(pOwner), m_pEnumerator(nullptr), m_pDevice(nullptr),
      m_pCallback(nullptr), m_bRegistered(false), m_cShare(1), m_dwComThread(GetCurrentThreadId()),
      m_bComAdded(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
{
}

// The COM count is given back only on the thread that added it; elsewhere it stays with that
// thread (CoUninitialize acts on the calling thread alone).
CQuillonInternal::~CQuillonInternal()
{
    LetGo(true);
    if (m_bComAdded && GetCurrentThreadId() == m_dwComThread)
        CoUninitialize();
}

bool CQuillonInternal::Initialize(eFindDevice eFind, const char* pszName)
{
    // The endpoint objects outlive this scope: the constructor's count, or the host's own
    // apartment, keeps COM in the process for them.
    CComScope com;
    LetGo(true);

    if (FAILED(CoCreateGuid(&m_guidEventContext)))
        return false;
    m_pCallback = CAudioQuillonCallback::Create(Owner(), m_guidEventContext);
    if (!m_pCallback)
        return false;

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

bool CQuillonInternal::IsOwner(const CQuillon* pObject)
{
    return Owner() == pObject;
}

CQuillon* CQuillonInternal::Owner()
{
    return static_cast<CQuillon*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pOwner), nullptr, nullptr));
}

void CQuillonInternal::AddShare()
{
    InterlockedIncrement(&m_cShare);
}

void CQuillonInternal::Leave(CQuillon* pObject)
{
    // Only the owner's leaving clears the owner, and it does so once.
    if (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pOwner), nullptr, pObject) == pObject)
        LetGo(false);
    if (InterlockedDecrement(&m_cShare) == 0)
        delete this;
}

// The callback is disarmed (no OnVolumeChanged starts after this) before its registration
// ends and anything is released.
void CQuillonInternal::LetGo(bool bEndpoint)
{
    CLetGo letGo = {};
    if (m_pCallback) {
        m_pCallback->Disarm();
        letGo.pCallback = m_pCallback;
        m_pCallback = nullptr;
        if (m_bRegistered) {
            m_pVolume->AddRef();
            letGo.pRegisteredWith = m_pVolume;
            m_bRegistered = false;
        }
    }
    if (bEndpoint) {
        letGo.rgpObject[0] = m_pEnumerator;
        letGo.rgpObject[1] = m_pDevice;
        letGo.rgpObject[2] = m_pVolume;
        m_pEnumerator = nullptr;
        m_pDevice = nullptr;
        m_pVolume = nullptr;
    }
    Dispatch(letGo);
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
    if (!pszName || FAILED(m_pEnumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, pCollection.Receive())))
        return nullptr;

    UINT cDevices = 0;
    pCollection->GetCount(&cDevices);
    for (UINT iDevice = 0; iDevice < cDevices; ++iDevice) {
        CComRef<IMMDevice> pDevice;
        if (FAILED(pCollection->Item(iDevice, pDevice.Receive())))
            return nullptr;
        eMatch match = MatchDevice(pDevice.Get(), pszName);
        if (match == eMatchYes)
            return pDevice.Detach();
        if (match == eMatchFailed)
            return nullptr;
    }
    return nullptr;
}
