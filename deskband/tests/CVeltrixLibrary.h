#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <algorithm>

#include "CComRef.h"

const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};
const IID kIidDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};

// Veltrix.dll loaded as the shell loads it and used through its exports only; freed when this
// goes. Each load attaches a fresh module.
class CVeltrixLibrary
{
public:
    CVeltrixLibrary() : m_hModule((ReserveAddressSpaceBelow4Gb(), LoadLibraryA("Veltrix.dll"))) {}
    ~CVeltrixLibrary() { Free(); }
    CVeltrixLibrary(const CVeltrixLibrary&) = delete;
    CVeltrixLibrary& operator=(const CVeltrixLibrary&) = delete;

    // An export without arguments: DllCanUnloadNow, DllRegisterServer, DllUnregisterServer.
    HRESULT Call(const char* pszExport) const
    {
        const auto pfn = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_hModule, pszExport));
        return pfn ? pfn() : E_UNEXPECTED;
    }
    template <class T> HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, T** ppv) const
    {
        const auto pfn = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
            GetProcAddress(m_hModule, "DllGetClassObject"));
        return pfn ? pfn(rclsid, riid, reinterpret_cast<void**>(ppv)) : E_UNEXPECTED;
    }
    // A band through the class object, aggregated when pOuter is given.
    template <class T> HRESULT Create(REFIID riid, T** ppv, IUnknown* pOuter = nullptr) const
    {
        CComRef<IClassFactory> pFactory;
        const HRESULT hr = GetClassObject(kClsidDeskband, IID_IClassFactory, pFactory.Receive());
        return FAILED(hr) ? hr : pFactory->CreateInstance(pOuter, riid, reinterpret_cast<void**>(ppv));
    }
    HMODULE Module() const { return m_hModule; }
    void Free()
    {
        FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }

private:
    // In a 64-bit process: takes every free stretch of address space below 4 GB, so that the
    // library's heaps, and every block and object they hold, lie above it. A pointer cut to 32
    // bits anywhere in the library (window data, a message parameter, an allocator header)
    // then points at nothing instead of happening to work.
    static void ReserveAddressSpaceBelow4Gb()
    {
#ifdef _WIN64
        const UINT_PTR kuGranularity = 0x10000, kuLimit = 0x100000000ull;
        MEMORY_BASIC_INFORMATION mbi;
        for (UINT_PTR u = kuGranularity; u < kuLimit && VirtualQuery(reinterpret_cast<void*>(u), &mbi, sizeof(mbi));
             u = reinterpret_cast<UINT_PTR>(mbi.BaseAddress) + mbi.RegionSize) {
            const UINT_PTR uBase = reinterpret_cast<UINT_PTR>(mbi.BaseAddress);
            const UINT_PTR uStart = (uBase + kuGranularity - 1) & ~(kuGranularity - 1);
            const UINT_PTR uEnd = std::min(uBase + mbi.RegionSize, kuLimit);
            if (mbi.State == MEM_FREE && uEnd > uStart)
                VirtualAlloc(reinterpret_cast<void*>(uStart), uEnd - uStart, MEM_RESERVE, PAGE_NOACCESS);
        }
#endif
    }

    HMODULE m_hModule;
};
