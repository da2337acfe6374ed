#include <atomic>
#include <thread>

#include "VeltrixLibrary.h"

TEST_F(VeltrixTest, ClassObjectIsCachedSharedAndLocksTheModuleOnceForOutsideReferences)
{
    IClassFactory* pFirst = GetFactory();
    IUnknown* pSecond = nullptr;
    ASSERT_EQ(m_library.GetClassObject(kClsidDeskband, IID_IUnknown, &pSecond), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(pFirst), pSecond);
    EXPECT_EQ(LockCount(pFirst), 1);
    EXPECT_EQ(pSecond->Release(), 2u);
    EXPECT_EQ(LockCount(pFirst), 1);
    EXPECT_EQ(pFirst->Release(), 1u);
    EXPECT_EQ(CanUnloadNow(), S_OK);

    // The class table kept its reference, so the same object comes back.
    IClassFactory* pAgain = GetFactory();
    EXPECT_EQ(pAgain, pFirst);
    pAgain->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(VeltrixTest, ClassObjectRequestsThatFailLeaveNothingOut)
{
    void* pv = kpvStale;
    const CLSID clsidOther = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x35}};
    EXPECT_EQ(m_library.GetClassObject(clsidOther, IID_IClassFactory, &pv), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(m_library.GetClassObject<void>(kClsidDeskband, IID_IClassFactory, nullptr), E_POINTER);

    pv = kpvStale;
    EXPECT_EQ(m_library.GetClassObject(kClsidDeskband, IID_IDispatch, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(CanUnloadNow(), S_OK);
    IClassFactory* pFactory = GetFactory();
    ASSERT_NE(pFactory, nullptr);
    EXPECT_EQ(pFactory->Release(), 1u);
}

TEST_F(VeltrixTest, LockServerCountsEveryCallAndMayGoBelowZero)
{
    IClassFactory* pFactory = GetFactory();
    pFactory->LockServer(TRUE);
    pFactory->LockServer(TRUE);
    EXPECT_EQ(pFactory->LockServer(FALSE), S_OK);
    EXPECT_EQ(LockCount(pFactory), 2);
    pFactory->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);

    pFactory = GetFactory();
    pFactory->LockServer(FALSE);
    pFactory->LockServer(FALSE);
    EXPECT_EQ(CanUnloadNow(), S_OK);
    pFactory->LockServer(FALSE);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    pFactory->LockServer(TRUE);
    pFactory->LockServer(TRUE);
    pFactory->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST(ClassObjectRace, TwoThreadsRacingForTheClassObjectGetTheSameOne)
{
    for (int iRound = 0; iRound < 20; ++iRound) {
        CVeltrixLibrary library;
        ASSERT_TRUE(library.IsLoaded());
        std::atomic<bool> fGo(false);
        IUnknown* apUnk[2] = {};
        auto race = [&](int i) {
            while (!fGo)
                std::this_thread::yield();
            library.GetClassObject(kClsidDeskband, IID_IUnknown, &apUnk[i]);
        };
        std::thread first(race, 0), second(race, 1);
        fGo = true;
        first.join();
        second.join();
        ASSERT_NE(apUnk[0], nullptr);
        EXPECT_EQ(apUnk[0], apUnk[1]) << "round " << iRound;
        for (IUnknown* pUnk : apUnk)
            pUnk->Release();
        EXPECT_EQ(library.CanUnloadNow(), S_OK);
    }
}
