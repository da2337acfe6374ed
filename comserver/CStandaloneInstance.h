#pragma once

#include "CDeskband.h"

// A desk band object on its own: a plain reference count (the class is apartment-threaded,
// so each object is used from one thread) and the band's interface lookup. Each living
// object holds one module lock.
class CStandaloneInstance final : public CDeskband
{
public:
    // The class table's instance creator for a null outer object.
    static HRESULT Create(REFIID riid, void** ppv);

    // IUnknown, for all four interface parts
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

private:
    CStandaloneInstance();
    ~CStandaloneInstance() = default;

    void Destroy();

    ULONG m_cRef;
};
