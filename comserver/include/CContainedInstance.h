#pragma once

#include "InterfaceEntry.h"

// An object of class T inside an aggregate. It has no count of its own: AddRef and Release
// go to the outer object, which it holds without a reference (the outer object owns the
// aggregate, not the other way round).
template <class T> class CContainedInstance final : public T
{
public:
    explicit CContainedInstance(IUnknown* pUnkOuter) : m_pUnkOuter(pUnkOuter) {}
    ~CContainedInstance() = default;

    // IUnknown, for all of T's interface parts: the outer object answers first; what it does
    // not expose is still found through T's own parts.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        const HRESULT hr = m_pUnkOuter->QueryInterface(riid, ppv);
        if (SUCCEEDED(hr))
            return hr;
        return LookupOwnInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_pUnkOuter->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_pUnkOuter->Release(); }

    // T's own interface lookup; the AddRef of a part found lands on the outer object.
    [[nodiscard]] HRESULT LookupOwnInterface(REFIID riid, void** ppv)
    {
        return InterfaceLookup(static_cast<T*>(this), T::s_interfaceTable, riid, ppv);
    }

private:
    IUnknown* m_pUnkOuter;
};
