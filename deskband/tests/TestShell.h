#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <algorithm>
#include <vector>

#include "AddressSpace.h"
#include "TestHostCommands.h"

// What the desk band's tests and benchmark do as the shell does: load Veltrix.dll and create
// bands through its exports, and run the taskbar thread's message loop.

const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};

inline void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

inline HWND UtilityWindow()
{
    return FindUtilityWindowOf(GetCurrentProcessId());
}

template <typename T> T* QueryAs(IUnknown* pUnknown, REFIID riid)
{
    void* pv = nullptr;
    return pUnknown && SUCCEEDED(pUnknown->QueryInterface(riid, &pv)) ? static_cast<T*>(pv) : nullptr;
}

inline std::vector<HANDLE> ProcessHeaps()
{
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    return heaps;
}

// Veltrix.dll, loaded once for the process, and the heaps that appeared while it loaded:
// those of its module allocator.
struct LoadedVeltrix
{
    HMODULE hModule;
    std::vector<HANDLE> heaps;
};

inline const LoadedVeltrix& Veltrix()
{
    static const LoadedVeltrix veltrix = [] {
        ReserveAddressSpaceBelow4Gb();
        const std::vector<HANDLE> before = ProcessHeaps();
        LoadedVeltrix loaded = {LoadLibraryA("Veltrix.dll"), {}};
        for (HANDLE hHeap : ProcessHeaps())
            if (std::find(before.begin(), before.end(), hHeap) == before.end())
                loaded.heaps.push_back(hHeap);
        return loaded;
    }();
    return veltrix;
}

inline IDeskBand* CreateBand()
{
    const auto pfnGetClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        GetProcAddress(Veltrix().hModule, "DllGetClassObject"));
    IClassFactory* pFactory = nullptr;
    void* pv = nullptr;
    if (pfnGetClassObject &&
        SUCCEEDED(pfnGetClassObject(kClsidDeskband, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)))) {
        pFactory->CreateInstance(nullptr, IID_IDeskBand, &pv);
        pFactory->Release();
    }
    return static_cast<IDeskBand*>(pv);
}
