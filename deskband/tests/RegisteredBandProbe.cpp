// A client of the installed band, of this program's bitness: creates the band registered in
// its registry view through CoCreateInstance, has it load its type information, and loads its
// type library through the registry. Prints one line; exits 0 when all of it works.
#include <windows.h>

#include <stdio.h>

#include "CComRef.h"
#include "CVeltrixLibrary.h"

int main()
{
    const GUID kLibid = {0xAA5F1712, 0x1151, 0x4CA8, {0x86, 0xA0, 0xA5, 0x2E, 0x61, 0x02, 0xD6, 0xB9}};
    const int nBits = static_cast<int>(8 * sizeof(void*));
    CoInitialize(nullptr);
    CComRef<IDispatch> pBand;
    CComRef<ITypeInfo> pTypeInfo;
    CComRef<ITypeLib> pTypeLib;
    const char* pszFailed = nullptr;
    HRESULT hr = CoCreateInstance(kClsidDeskband, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, pBand.ReceiveVoid());
    if (FAILED(hr))
        pszFailed = "CoCreateInstance";
    else if (FAILED(hr = pBand->GetTypeInfo(0, 0, pTypeInfo.Receive())))
        pszFailed = "the band's GetTypeInfo";
    else if (FAILED(hr = LoadRegTypeLib(kLibid, 1, 0, 0, pTypeLib.Receive())))
        pszFailed = "LoadRegTypeLib";
    if (pszFailed)
        printf("probe: %d-bit: %s failed (0x%08lX)\n", nBits, pszFailed, static_cast<unsigned long>(hr));
    else
        printf("probe: %d-bit band created; its type information and library loaded\n", nBits);
    pBand.Reset();
    pTypeInfo.Reset();
    pTypeLib.Reset();
    CoUninitialize();
    return pszFailed ? 1 : 0;
}
