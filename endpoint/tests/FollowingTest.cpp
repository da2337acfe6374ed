// An object that follows the default endpoint: its moves, what they report, and what the platform
// asks of them.
#include "QuillonTest.h"

#include <algorithm>
#include <atomic>

#include "CScopedHandle.h"

namespace
{

// Holds up each move's report until told.
struct CHeldListener : CListener
{
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override
    {
        InterlockedExchange(&m_lInside, 1);
        if (guidEventContext == QUILLON_CONTEXT_ENDPOINT_MOVED)
            WaitForSingleObject(m_hGo.Get(), 10000);
        InterlockedExchange(&m_lInside, 0);
        CListener::OnVolumeChanged(fMasterVolume, bMuted, guidEventContext);
    }
    CScopedHandle m_hGo{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    volatile LONG m_lInside = 0;
};

// The follower moves when the default changes as it starts following (before its client is
// registered), when another endpoint becomes the default during a host call (which keeps the old
// control until it returns), and when its endpoint goes away. Each move is reported once, with the
// new endpoint's state and the moved context, off the platform's notification thread: a change
// that arrives meanwhile waits its turn in the library, not on that thread. The follower's own
// changes stay unreported. Destroyed while a move is under way, it waits for the move and leaves
// nothing behind. An object opened on the default endpoint stays.
TEST_F(QuillonTest, AFollowerMovesToTheNewDefaultAndReportsIt)
{
    const int iHeadphones = m_service.AddEndpoint(L"Headphones");
    const int iLineOut = m_service.AddEndpoint(L"Line Out");
    m_service.ChangeAsOther(iHeadphones, 0.25f, true, kGuidOther);
    m_service.ChangeAsOther(iLineOut, 0.75f, false, kGuidOther);
    CHeldListener* pFollower = new CHeldListener;
    CQuillon plain;
    ASSERT_TRUE(plain.Initialize(eFindDefault, nullptr));
    m_service.OnNext("RegisterEndpointNotificationCallback",
                     [&] { return m_service.SetDefault(iLineOut), m_service.Flush(), S_OK; });
    // The report, held while another program changes the new endpoint, comes first; the
    // follower's own change there is not heard.
    auto expectMove = [&](const char* pszWhat, int iTo, float fLevel, bool bMuted) {
        SCOPED_TRACE(pszWhat);
        ASSERT_TRUE(WaitUntil([&] { return pFollower->m_lInside == 1; }));
        const LONG cHeard = pFollower->m_cChanges;
        m_service.ChangeAsOther(iTo, 0.6f, false, kGuidOther);
        EXPECT_TRUE(m_service.Flush(5000));
        SetEvent(pFollower->m_hGo.Get());
        ASSERT_TRUE(WaitUntil([&] { return pFollower->m_cChanges == cHeard + 2; }));
        const std::vector<Change> heard(pFollower->m_changes.end() - 2, pFollower->m_changes.end());
        EXPECT_EQ(heard, (std::vector<Change>{Change(fLevel, bMuted, QUILLON_CONTEXT_ENDPOINT_MOVED),
                                              Change(0.6f, false, kGuidOther)}));
        EXPECT_EQ(m_service.Registrations(),
                  (std::vector<int>{-1, std::min(m_iDefault, iTo), std::max(m_iDefault, iTo)}));
        EXPECT_TRUE(pFollower->SetVolume(0.7f, true) && Level(iTo) == 0.7f);
    };
    ASSERT_TRUE(pFollower->InitializeFollowingDefault());
    expectMove("following starts", iLineOut, 0.75f, false);
    const int cUnregistered = m_service.Call("UnregisterControlChangeNotify").cCalls;
    m_service.OnNext("SetMasterVolumeLevelScalar", [&] {
        m_service.SetDefault(iHeadphones);
        WaitUntil([&] { return m_service.Call("UnregisterControlChangeNotify").cCalls > cUnregistered; }, 500);
        return S_OK;
    });
    EXPECT_TRUE(pFollower->SetVolume(0.3f, true) && Level(iLineOut) == 0.3f);
    expectMove("the default changes during a call", iHeadphones, 0.25f, true);
    m_service.RemoveEndpoint(iHeadphones);
    expectMove("the endpoint goes away", m_iDefault, 0.5f, false);
    m_service.Flush();
    EXPECT_EQ(pFollower->m_cChanges, 6);
    EXPECT_EQ(m_service.CallsOnReleased(), 0);
    EXPECT_NE(m_service.Call("GetDefaultAudioEndpoint").dwThread, m_service.NotificationThread());

    CScopedHandle hMoving(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> bMoved(false);
    m_service.OnNext("Activate", [&] { return SetEvent(hMoving.Get()), Sleep(300), bMoved = true, S_OK; });
    m_service.SetDefault(iLineOut);
    ASSERT_EQ(WaitForSingleObject(hMoving.Get(), 5000), WAIT_OBJECT_0);
    delete pFollower;
    EXPECT_TRUE(bMoved);
    EXPECT_EQ(m_service.Registrations(), std::vector<int>{m_iDefault});
    EXPECT_EQ(m_service.Live(), 3);
}

}
