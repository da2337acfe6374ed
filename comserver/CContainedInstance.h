#pragma once

#include "CDeskband.h"

// The desk band object inside an aggregate. It has no count of its own: AddRef and Release
// go to the outer object, which it holds without a reference (the outer object owns the
// aggregate, not the other way round).
class CContainedInstance final : public CDeskband
{
public:
    explicit CContainedInstance(IUnknown* pUnkOuter);
    ~CContainedInstance() = default;

    // IUnknown, for all four interface parts: the outer object answers first; what it does
    // not expose is still found through the band's own parts.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // The band's own interface lookup; the AddRef of a part found lands on the outer object.
    HRESULT LookupOwnInterface(REFIID riid, void** ppv);

private:
    IUnknown* m_pUnkOuter;
};
