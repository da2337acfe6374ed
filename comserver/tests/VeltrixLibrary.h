#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>

const CLSID kClsidDeskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};
const IID kIidDeskbandDispatch = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
// Stands in an out parameter before a call, to show that the call clears it.
void* const kpvStale = reinterpret_cast<void*>(0x13572468);

// Veltrix.dll loaded as the shell loads it, used through its exports only. Each load
// attaches a fresh module; the library is freed again when this goes.
class CVeltrixLibrary
{
public:
    CVeltrixLibrary() : m_hModule(LoadLibraryA("Veltrix.dll"))
    {
        m_pfnGetClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
            GetProcAddress(m_hModule, "DllGetClassObject"));
        m_pfnCanUnloadNow = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_hModule, "DllCanUnloadNow"));
    }
    ~CVeltrixLibrary() { FreeLibrary(m_hModule); }
    CVeltrixLibrary(const CVeltrixLibrary&) = delete;
    CVeltrixLibrary& operator=(const CVeltrixLibrary&) = delete;

    bool IsLoaded() const { return m_pfnGetClassObject && m_pfnCanUnloadNow; }
    template <class T> HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, T** ppv)
    {
        return m_pfnGetClassObject(rclsid, riid, reinterpret_cast<void**>(ppv));
    }
    HRESULT CanUnloadNow() { return m_pfnCanUnloadNow(); }

private:
    HMODULE m_hModule;
    HRESULT(WINAPI* m_pfnGetClassObject)(REFCLSID, REFIID, void**);
    HRESULT(WINAPI* m_pfnCanUnloadNow)();
};

class VeltrixTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_library.IsLoaded()) << GetLastError(); }

    HRESULT CanUnloadNow() { return m_library.CanUnloadNow(); }

    IClassFactory* GetFactory()
    {
        IClassFactory* pFactory = nullptr;
        EXPECT_EQ(m_library.GetClassObject(kClsidDeskband, IID_IClassFactory, &pFactory), S_OK);
        return pFactory;
    }

    // The module lock count as the exports reveal it: unlock until the library may unload,
    // then lock back as often. Meant for counts from 0 to a few.
    int LockCount(IClassFactory* pFactory)
    {
        int cLock = 0;
        for (; CanUnloadNow() != S_OK && cLock < 16; ++cLock)
            pFactory->LockServer(FALSE);
        for (int i = 0; i < cLock; ++i)
            pFactory->LockServer(TRUE);
        return cLock;
    }

    CVeltrixLibrary m_library;
};
