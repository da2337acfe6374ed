#include "VeltrixLibrary.h"

namespace
{
// Asks for riid and gives the reference back at once; the object's own reference keeps the
// pointer valid for comparisons.
void* PartFor(IUnknown* pUnk, REFIID riid)
{
    IUnknown* pPart = nullptr;
    if (FAILED(pUnk->QueryInterface(riid, reinterpret_cast<void**>(&pPart))))
        return nullptr;
    pPart->Release();
    return pPart;
}

// An outer object that aggregates the band, exposes only IUnknown, and counts references.
class CCountingOuter : public IUnknown
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown))
            return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }

    ULONG m_cRef = 1;
};
}

TEST_F(VeltrixTest, BandAnswersEachInterfaceWithItsPartAndHoldsTheModule)
{
    IClassFactory* pFactory = GetFactory();
    IUnknown* pUnk = nullptr;
    ASSERT_EQ(pFactory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&pUnk)), S_OK);
    pFactory->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);

    EXPECT_EQ(PartFor(pUnk, kIidDeskbandDispatch), pUnk);
    EXPECT_EQ(PartFor(pUnk, IID_IDispatch), pUnk);
    void* pBand = PartFor(pUnk, IID_IDeskBand);
    ASSERT_NE(pBand, nullptr);
    EXPECT_NE(pBand, static_cast<void*>(pUnk));
    EXPECT_EQ(PartFor(pUnk, IID_IOleWindow), pBand);
    void* pPersist = PartFor(pUnk, IID_IPersistStream);
    ASSERT_NE(pPersist, nullptr);
    EXPECT_EQ(PartFor(pUnk, IID_IPersist), pPersist);
    EXPECT_EQ(PartFor(static_cast<IUnknown*>(pPersist), IID_IUnknown), pUnk);

    void* pv = kpvStale;
    EXPECT_EQ(pUnk->QueryInterface(IID_IInputObject, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(pUnk->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    EXPECT_EQ(pUnk->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(VeltrixTest, RefusedCreationLeavesNoObjectBehind)
{
    IClassFactory* pFactory = GetFactory();
    void* pv = kpvStale;
    EXPECT_EQ(pFactory->CreateInstance(nullptr, IID_IInputObject, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(pFactory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

    CCountingOuter outer;
    for (const IID* piid : {&IID_IDeskBand, &IID_IDispatch}) {
        pv = kpvStale;
        EXPECT_EQ(pFactory->CreateInstance(&outer, *piid, &pv), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(pv, nullptr);
    }
    EXPECT_EQ(outer.m_cRef, 1u);
    EXPECT_EQ(LockCount(pFactory), 1);
    pFactory->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(VeltrixTest, AggregatedBandCountsOnItsOuterObjectAndStillFindsItsOwnInterfaces)
{
    IClassFactory* pFactory = GetFactory();
    CCountingOuter outer;
    IUnknown* pInner = nullptr;
    ASSERT_EQ(pFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&pInner)), S_OK);
    pFactory->Release();
    EXPECT_NE(pInner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.m_cRef, 1u);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);

    IDeskBand* pBand = nullptr;
    ASSERT_EQ(pInner->QueryInterface(IID_IDeskBand, reinterpret_cast<void**>(&pBand)), S_OK);
    EXPECT_EQ(outer.m_cRef, 2u);
    EXPECT_EQ(pBand->AddRef(), 3u);
    EXPECT_EQ(outer.m_cRef, 3u);
    EXPECT_EQ(pBand->Release(), 2u);

    // The outer object answers first: the identity is its own.
    EXPECT_EQ(PartFor(pBand, IID_IUnknown), static_cast<void*>(&outer));
    // It exposes nothing else, yet the band's own parts are still found.
    EXPECT_NE(PartFor(pBand, IID_IObjectWithSite), nullptr);
    EXPECT_EQ(PartFor(pBand, IID_IPersist), PartFor(pInner, IID_IPersistStream));
    EXPECT_EQ(outer.m_cRef, 2u);

    pBand->Release();
    EXPECT_EQ(outer.m_cRef, 1u);
    EXPECT_EQ(pInner->Release(), 0u);
    EXPECT_EQ(outer.m_cRef, 1u);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}
