#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

#include "AddressSpace.h"

const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};
const IID kIidDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
// Stands in an out parameter before a call, to show that the call clears it.
void* const kpvStale = reinterpret_cast<void*>(0x13572468);

// Veltrix.dll loaded as the shell loads it, used through its exports only. Each load
// attaches a fresh module; the library is freed again when this goes.
class CVeltrixLibrary
{
public:
    explicit CVeltrixLibrary(const char* pszPath = "Veltrix.dll") : m_hModule(Load(pszPath)) {}
    ~CVeltrixLibrary() { Free(); }
    CVeltrixLibrary(const CVeltrixLibrary&) = delete;
    CVeltrixLibrary& operator=(const CVeltrixLibrary&) = delete;

    // An export without arguments: DllCanUnloadNow, DllRegisterServer, DllUnregisterServer.
    HRESULT Call(const char* pszExport)
    {
        auto pfn = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_hModule, pszExport));
        return pfn ? pfn() : E_UNEXPECTED;
    }
    HRESULT CanUnloadNow() { return Call("DllCanUnloadNow"); }
    template <class T> HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, T** ppv)
    {
        auto pfn = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
            GetProcAddress(m_hModule, "DllGetClassObject"));
        return pfn ? pfn(rclsid, riid, reinterpret_cast<void**>(ppv)) : E_UNEXPECTED;
    }
    IClassFactory* Factory()
    {
        IClassFactory* pFactory = nullptr;
        EXPECT_EQ(GetClassObject(kClsidDeskband, IID_IClassFactory, &pFactory), S_OK);
        return pFactory;
    }
    // A band, not aggregated, through the class object.
    template <class T> HRESULT Create(REFIID riid, T** ppv)
    {
        IClassFactory* pFactory = Factory();
        if (!pFactory)
            return E_UNEXPECTED;
        HRESULT hr = pFactory->CreateInstance(nullptr, riid, reinterpret_cast<void**>(ppv));
        pFactory->Release();
        return hr;
    }
    HMODULE Module() const { return m_hModule; }
    void Free()
    {
        FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }

private:
    static HMODULE Load(const char* pszPath)
    {
        ReserveAddressSpaceBelow4Gb();
        return LoadLibraryA(pszPath);
    }

    HMODULE m_hModule;
};
