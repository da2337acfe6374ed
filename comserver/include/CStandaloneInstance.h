#pragma once

#include <new>

#include "CServerModule.h"
#include "InterfaceEntry.h"

// A COM object of class T on its own: a plain reference count (the classes this frame serves
// are apartment-threaded, so each object is used from one thread) and T's interface lookup
// through T::s_interfaceTable. T declares IUnknown's methods pure and has an accessible
// default constructor and destructor. Each living object holds one module lock.
template <class T> class CStandaloneInstance final : public T
{
public:
    // The class table's instance creator for a null outer object.
    [[nodiscard]] static HRESULT Create(REFIID riid, void** ppv)
    {
        // The lock is taken before T's construction runs and given back after its teardown
        // (Destroy), so that the library is never unloaded while code of T still runs.
        g_module.Lock();
        CStandaloneInstance* pInstance = new (std::nothrow) CStandaloneInstance;
        if (!pInstance) {
            g_module.Unlock();
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = pInstance->QueryInterface(riid, ppv);
        if (hr != S_OK)
            pInstance->Destroy();
        return hr;
    }

    // IUnknown, for all of T's interface parts
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return InterfaceLookup(static_cast<T*>(this), T::s_interfaceTable, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG cRef = --m_cRef;
        if (cRef == 0)
            Destroy();
        return cRef;
    }

private:
    CStandaloneInstance() = default;
    ~CStandaloneInstance() = default;

    // The count is parked at 1 so that a balanced AddRef and Release during T's teardown
    // cannot start a second destruction.
    void Destroy()
    {
        m_cRef = 1;
        delete this;
        g_module.Unlock();
    }

    ULONG m_cRef = 0;
};
