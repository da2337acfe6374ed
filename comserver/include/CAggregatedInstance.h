#pragma once

#include <new>

#include "CContainedInstance.h"
#include "CServerModule.h"

// The inner object handed to an outer object that aggregates an object of class T: its own
// IUnknown with a plain count, around the contained T. Each living aggregate holds one
// module lock.
template <class T> class CAggregatedInstance final : public IUnknown
{
public:
    // The class table's instance creator for an outer object; riid is IUnknown, as the
    // class object lets nothing else through.
    [[nodiscard]] static HRESULT Create(IUnknown* pUnkOuter, REFIID riid, void** ppv)
    {
        // The lock is taken before T's construction runs and given back after its teardown
        // (Destroy), so that the library is never unloaded while code of T still runs.
        g_module.Lock();
        CAggregatedInstance* pInstance = new (std::nothrow) CAggregatedInstance(pUnkOuter);
        if (!pInstance) {
            g_module.Unlock();
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = pInstance->QueryInterface(riid, ppv);
        if (hr != S_OK)
            pInstance->Destroy();
        return hr;
    }

    // IUnknown of the inner object: IUnknown is this object, everything else T's.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!IsEqualIID(riid, IID_IUnknown))
            return m_contained.LookupOwnInterface(riid, ppv);
        if (!ppv)
            return E_POINTER;
        *ppv = static_cast<IUnknown*>(this);
        ++m_cRef;
        return S_OK;
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
    explicit CAggregatedInstance(IUnknown* pUnkOuter) : m_contained(pUnkOuter) {}
    ~CAggregatedInstance() = default;

    // The outer object is not released: the contained object never held a reference on it.
    void Destroy()
    {
        m_cRef = 1;
        delete this;
        g_module.Unlock();
    }

    ULONG m_cRef = 0;
    CContainedInstance<T> m_contained;
};
