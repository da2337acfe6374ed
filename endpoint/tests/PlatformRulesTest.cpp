// What real hosts and the real platform ask of Quillon beyond its behaviour: COM apartments
// left as the host had them, no exception and no memory across the library's boundary, the
// platform's rules for its callback, and copies that initialise without racing their original.
#include "QuillonTest.h"

#include "QuillonHeap.h"

#include <atomic>

namespace
{

// A thread in the multithreaded apartment keeps it: the constructor's CoInitializeEx added
// nothing there, so nothing is given back.
TEST_F(QuillonTest, HostThreadInTheMultithreadedApartmentKeepsIt)
{
    RunOnThread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        DWORD dwRegister = m_service.RegisterOnThisThread();
        {
            CQuillon quillon;
            EXPECT_TRUE(quillon.Initialize(eFindDefault, nullptr));
        }
        EXPECT_EQ(Apartment(), APTTYPE_MTA);
        m_service.RevokeFromThisThread(dwRegister);
        CoUninitialize();
        EXPECT_EQ(Apartment(), -1);
    });
}

// A thread outside COM is in an apartment while the object lives and out of COM after it,
// however often Initialize ran; a thread in an apartment already (S_FALSE) keeps only its own
// count afterwards.
TEST_F(QuillonTest, AnObjectGivesBackOnItsThreadWhatItAdded)
{
    RunOnThread([&] {
        {
            CQuillon quillon;
            EXPECT_EQ(Apartment(), APTTYPE_STA);
            DWORD dwRegister = m_service.RegisterOnThisThread();
            EXPECT_TRUE(quillon.Initialize(eFindDefault, nullptr));
            EXPECT_TRUE(quillon.Initialize(eFindDefault, nullptr));
            m_service.RevokeFromThisThread(dwRegister);
        }
        EXPECT_EQ(Apartment(), -1);

        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            CQuillon quillon;
        }
        EXPECT_EQ(Apartment(), APTTYPE_STA);
        CoUninitialize();
        EXPECT_EQ(Apartment(), -1);
    });
}

// Destroyed on another thread, the object leaves that thread's apartment alone, and the count
// it added stays with the constructing thread, which gives it back itself.
TEST_F(QuillonTest, DestroyedElsewhereTheCountStaysWithTheConstructingThread)
{
    CQuillon* pQuillon = nullptr;
    HANDLE hMade = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE hGone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread constructing([&] {
        pQuillon = new CQuillon;
        DWORD dwRegister = m_service.RegisterOnThisThread();
        EXPECT_TRUE(pQuillon->Initialize(eFindDefault, nullptr));
        m_service.RevokeFromThisThread(dwRegister);
        SetEvent(hMade);
        WaitForSingleObject(hGone, INFINITE);
        EXPECT_EQ(Apartment(), APTTYPE_STA);
        CoUninitialize();
        EXPECT_EQ(Apartment(), -1);
    });
    WaitForSingleObject(hMade, INFINITE);
    RunOnThread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        delete pQuillon;
        EXPECT_EQ(Apartment(), APTTYPE_MTA);
        CoUninitialize();
    });
    SetEvent(hGone);
    constructing.join();
    CloseHandle(hMade);
    CloseHandle(hGone);
}

// Without memory in the library: the constructor throws nothing and leaves COM alone, new
// gives null, and an object without an implementation (and its copy) fails every operation.
// When only Initialize's callback cannot be made, Initialize fails holding nothing.
TEST_F(QuillonTest, WithoutMemoryNothingThrowsAndEveryOperationFails)
{
    if (!QuillonHeap::Hook())
        GTEST_SKIP() << "Quillon.dll's heap cannot be watched here";
    RunOnThread([&] {
        const LONG_PTR cBlocks = QuillonHeap::Balance();
        QuillonHeap::FailOnThisThread(true);
        CQuillon* pQuillon = new CQuillon;
        CListener* pListener = new (std::nothrow) CListener;
        CListener* pListeners = new CListener[2];
        {
            CQuillon quillon;
            QuillonHeap::FailOnThisThread(false);
            EXPECT_EQ(Apartment(), -1);
            CQuillon copy(quillon);
            for (CQuillon* pObject : {&quillon, &copy}) {
                EXPECT_FALSE(pObject->Initialize(eFindDefault, nullptr));
                ExpectOperations(*pObject, false);
            }
        }
        EXPECT_EQ(pQuillon, nullptr);
        EXPECT_EQ(pListener, nullptr);
        EXPECT_EQ(pListeners, nullptr);

        {
            CQuillon quillon;
            DWORD dwRegister = m_service.RegisterOnThisThread();
            QuillonHeap::FailOnThisThread(true);
            EXPECT_FALSE(quillon.Initialize(eFindDefault, nullptr));
            QuillonHeap::FailOnThisThread(false);
            EXPECT_EQ(m_service.Live(), 0);
            EXPECT_TRUE(quillon.Initialize(eFindDefault, nullptr));
            m_service.RevokeFromThisThread(dwRegister);
        }
        EXPECT_EQ(Apartment(), -1);
        EXPECT_EQ(QuillonHeap::Balance(), cBlocks);
    });
}

struct CSelfDestroyingListener : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override { delete this; }
};

struct CReassigningListener : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override { CQuillon::operator=(*m_pSource); }
    const CQuillon* m_pSource = nullptr;
};

// Destroyed or assigned over inside its own OnVolumeChanged, an object lets go at once: the
// unregistrations (made slow here; the self-destroying one follows the default endpoint) and
// the final releases come on another thread, the notification thread does not wait for them
// and keeps its apartment.
TEST_F(QuillonTest, InsideItsOwnDeliveryAnObjectLetsGoWithoutWaiting)
{
    int iOther = m_service.AddEndpoint(L"Other");
    CQuillon source;
    ASSERT_TRUE(source.Initialize(eFindByName, "other"));
    CReassigningListener* pReassigning = new CReassigningListener;
    pReassigning->m_pSource = &source;
    ASSERT_TRUE(pReassigning->Initialize(eFindDefault, nullptr));
    ASSERT_TRUE((new CSelfDestroyingListener)->InitializeFollowingDefault());

    m_service.DelayNext(eSimUnregister, 600);
    m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
    m_service.Flush();
    EXPECT_LT(m_service.LongestDelivery(), 300u);
    EXPECT_TRUE(WaitUntil([&] { return m_service.Calls(eSimUnregister) == 2 && m_service.Live() == 3; }));
    EXPECT_EQ(m_service.Clients(), 0);
    EXPECT_NE(m_service.Thread(eSimUnregister), m_service.NotificationThread());
    EXPECT_NE(m_service.Thread(eSimUnregisterClient), m_service.NotificationThread());
    EXPECT_NE(m_service.ReleaseThread(eSimVolume), m_service.NotificationThread());
    EXPECT_FALSE(m_service.NotificationThreadLostItsApartment());
    EXPECT_EQ(RegisteredEndpoint(), iOther);
    EXPECT_TRUE(pReassigning->SetVolume(0.9f, true));
    EXPECT_EQ(Level(iOther), 0.9f);
    delete pReassigning;
}

// A delivery keeps its callback alive to its end by a reference of its own: here the service
// lets go of the callback at once, and the object destroys itself in its OnVolumeChanged,
// which then waits until the work handed on is done.
struct CSelfDestroyingWatcher : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override
    {
        CSimAudioService* pService = m_pService;
        bool* pbFreedEarly = m_pbFreedEarly;
        delete this;
        WaitUntil([&] { return pService->Live() == 0; });
        *pbFreedEarly = QuillonHeap::WatchedFreed();
    }
    CSimAudioService* m_pService = nullptr;
    bool* m_pbFreedEarly = nullptr;
};

TEST_F(QuillonTest, ADeliveryKeepsItsCallbackAliveToTheEnd)
{
    if (!QuillonHeap::Hook())
        GTEST_SKIP() << "Quillon.dll's heap cannot be watched here";
    m_service.UnregisterWithoutWaiting();
    bool bFreedEarly = true;
    CSelfDestroyingWatcher* pWatcher = new CSelfDestroyingWatcher;
    pWatcher->m_pService = &m_service;
    pWatcher->m_pbFreedEarly = &bFreedEarly;
    ASSERT_TRUE(pWatcher->Initialize(eFindDefault, nullptr));
    QuillonHeap::Watch(m_service.Endpoint(m_iDefault).callbacks.at(0));
    m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
    m_service.Flush();
    EXPECT_FALSE(bFreedEarly);
    EXPECT_TRUE(QuillonHeap::WatchedFreed());
}

// A copy's Initialize leaves the shared endpoint (whose owner may be going away on another
// thread) alone: the copy becomes the owner of an endpoint of its own and is told of its
// changes; the original keeps its endpoint and its notifications.
TEST_F(QuillonTest, ACopysInitializeGivesItAnEndpointOfItsOwn)
{
    int iLineOut = m_service.AddEndpoint(L"Line Out");
    CListener original;
    ASSERT_TRUE(original.Initialize(eFindDefault, nullptr));
    CListener copy(original);
    ASSERT_TRUE(copy.Initialize(eFindByName, "line out"));
    EXPECT_EQ(m_service.Live(), 6);
    EXPECT_EQ(m_service.Endpoint(m_iDefault).callbacks.size(), 1u);
    EXPECT_EQ(m_service.Endpoint(iLineOut).callbacks.size(), 1u);
    EXPECT_TRUE(copy.SetVolume(0.2f, true));
    EXPECT_EQ(Level(iLineOut), 0.2f);
    m_service.ChangeAsOther(m_iDefault, 0.3f, false, kGuidOther);
    m_service.ChangeAsOther(iLineOut, 0.4f, false, kGuidOther);
    m_service.Flush();
    ASSERT_EQ(original.m_changes.size(), 1u);
    EXPECT_EQ(original.m_changes[0].fMasterVolume, 0.3f);
    ASSERT_EQ(copy.m_changes.size(), 1u);
    EXPECT_EQ(copy.m_changes[0].fMasterVolume, 0.4f);
}

}
