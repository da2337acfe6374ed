#pragma once

#include <windows.h>

#include "ClassEntry.h"
#include "InterfaceEntry.h"

// The class object handed out by DllGetClassObject. Its count changes atomically under a
// lock of its own, and the count also drives one module lock: the class table's own
// reference takes none, the first outside reference takes one and the last gives it back,
// so an outside client holding the class object keeps the library loaded.
class CClassFactory final : public IClassFactory
{
public:
    explicit CClassFactory(PFNCREATEINSTANCE pfnCreateInstance);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

    // Ends an object whose count is 0: at the last Release, or when creation fails.
    void Destroy();

private:
    ~CClassFactory();
    CClassFactory(const CClassFactory&) = delete;
    CClassFactory& operator=(const CClassFactory&) = delete;

    static const InterfaceEntry s_interfaceTable[];

    LONG m_cRef;
    CRITICAL_SECTION m_csCount;
    PFNCREATEINSTANCE m_pfnCreateInstance;
    // LockServer(TRUE) calls not yet balanced by LockServer(FALSE).
    volatile LONG m_cServerLock;
};

// The class-object creator of a class table row: a new class object for pfnCreateInstance,
// asked for riid; it is destroyed again when it does not offer riid.
[[nodiscard]] HRESULT CreateClassFactory(PFNCREATEINSTANCE pfnCreateInstance, REFIID riid, void** ppv);
