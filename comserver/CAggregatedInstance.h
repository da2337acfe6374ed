#pragma once

#include <windows.h>

#include "CContainedInstance.h"

// The inner object handed to an outer object that aggregates the desk band: its own
// IUnknown with a plain count, around the contained band. Each living aggregate holds one
// module lock.
class CAggregatedInstance final : public IUnknown
{
public:
    // The class table's instance creator for an outer object; riid is IUnknown, as the
    // class object lets nothing else through.
    static HRESULT Create(IUnknown* pUnkOuter, REFIID riid, void** ppv);

    // IUnknown of the inner object: IUnknown is this object, everything else the band's.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

private:
    explicit CAggregatedInstance(IUnknown* pUnkOuter);
    ~CAggregatedInstance() = default;

    void Destroy();

    ULONG m_cRef;
    CContainedInstance m_contained;
};
