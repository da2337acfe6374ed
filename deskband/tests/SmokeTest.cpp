#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

static const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};

TEST(Smoke, CreatesBandThroughExports) {
    HMODULE h = LoadLibraryA("Veltrix.dll");
    ASSERT_NE(h, nullptr) << GetLastError();
    auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(GetProcAddress(h, "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    IClassFactory* pFactory = nullptr;
    ASSERT_EQ(getClassObject(kClsidDeskband, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)), S_OK);
    IDeskBand* pBand = nullptr;
    ASSERT_EQ(pFactory->CreateInstance(nullptr, IID_IDeskBand, reinterpret_cast<void**>(&pBand)), S_OK);
    pBand->Release();
    pFactory->Release();
    FreeLibrary(h);
}
