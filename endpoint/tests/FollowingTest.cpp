// Objects that follow the default endpoint: the moves, what they report, and what the platform
// asks of them (a notification client that never waits, calls that never reach a released
// control, a teardown that leaves no move behind).
#include "QuillonTest.h"

namespace
{

// Each step moves the follower (the plain object stays), which reports the new endpoint's
// state once with its own context and stays deaf to its own changes there, but not to others'.
TEST_F(QuillonTest, AFollowerMovesToTheNewDefaultAndReportsIt)
{
    int iHeadphones = m_service.AddEndpoint(L"Headphones");
    m_service.ChangeAsOther(iHeadphones, 0.25f, true, kGuidOther);
    CListener follower;
    CListener plain;
    ASSERT_TRUE(follower.InitializeFollowingDefault());
    ASSERT_TRUE(plain.Initialize(eFindDefault, nullptr));
    struct Step
    {
        const char* pszWhat;
        std::function<void()> change;
        int iTo;
        float fLevel;
        BOOL bMuted;
    };
    const Step steps[] = {
        {"another endpoint becomes the default", [&] { m_service.SetDefault(iHeadphones); }, iHeadphones, 0.25f, TRUE},
        {"the bound endpoint goes away", [&] { m_service.RemoveEndpoint(iHeadphones); }, m_iDefault, 0.1f, FALSE},
    };
    // The move's work is slowed: the platform's thread must not wait for it.
    m_service.DelayNext(eSimActivate, 600);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.pszWhat);
        LONG cHeard = follower.m_cChanges;
        step.change();
        ASSERT_TRUE(WaitUntil([&] { return follower.m_cChanges == cHeard + 1; }));
        EXPECT_EQ(follower.m_changes.back().guidEventContext, QUILLON_CONTEXT_ENDPOINT_MOVED);
        EXPECT_EQ(follower.m_changes.back().fMasterVolume, step.fLevel);
        EXPECT_EQ(follower.m_changes.back().bMuted, step.bMuted);
        EXPECT_EQ(m_service.Endpoint(step.iTo).callbacks.size(), step.iTo == m_iDefault ? 2u : 1u);
        EXPECT_EQ(m_service.Live(eSimVolume), 2);

        EXPECT_TRUE(follower.SetVolume(0.6f, true));
        EXPECT_EQ(Level(step.iTo), 0.6f);
        m_service.ChangeAsOther(iHeadphones + m_iDefault - step.iTo, 0.1f, false, kGuidOther);
        m_service.ChangeAsOther(step.iTo, 0.6f, false, kGuidOther);
        m_service.Flush();
        EXPECT_EQ(follower.m_cChanges, cHeard + 2);
        EXPECT_EQ(follower.m_changes.back().guidEventContext, kGuidOther);
    }
    EXPECT_LT(m_service.LongestDelivery(), 300u);
    EXPECT_NE(m_service.Thread(eSimGetDefault), m_service.NotificationThread());
    for (const AUDIO_VOLUME_NOTIFICATION_DATA& change : plain.m_changes)
        EXPECT_NE(change.guidEventContext, QUILLON_CONTEXT_ENDPOINT_MOVED);
}

// Stays a while in the report of a move and counts calls that overlap.
struct CSlowReportListener : CListener
{
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override
    {
        m_cOverlapping += InterlockedExchange(&m_lInside, 1);
        if (guidEventContext == QUILLON_CONTEXT_ENDPOINT_MOVED)
            Sleep(300);
        CListener::OnVolumeChanged(fMasterVolume, bMuted, guidEventContext);
        InterlockedExchange(&m_lInside, 0);
    }
    LONG m_lInside = 0;
    LONG m_cOverlapping = 0;
};

// A notification that arrives while the object hears a move's report (on another thread) waits
// its turn without holding the platform's thread: the object hears one change at a time.
TEST_F(QuillonTest, AFollowerHearsOneChangeAtATime)
{
    int iHeadphones = m_service.AddEndpoint(L"Headphones");
    CSlowReportListener follower;
    ASSERT_TRUE(follower.InitializeFollowingDefault());
    m_service.SetDefault(iHeadphones);
    ASSERT_TRUE(WaitUntil([&] { return InterlockedCompareExchange(&follower.m_lInside, 0, 0) == 1; }));
    m_service.ChangeAsOther(iHeadphones, 0.7f, false, kGuidOther);
    m_service.Flush();
    EXPECT_LT(m_service.LongestDelivery(), 150u);
    ASSERT_TRUE(WaitUntil([&] { return follower.m_cChanges == 2; }));
    EXPECT_EQ(follower.m_cOverlapping, 0);
    EXPECT_EQ(follower.m_changes[1].guidEventContext, kGuidOther);
}

// A host call under way keeps the control it started on until it returns, and destroying a
// follower while a move is under way waits for the move and leaves nothing registered or held.
TEST_F(QuillonTest, MovesNeverReachAReleasedControlOrOutliveTheObject)
{
    int iHeadphones = m_service.AddEndpoint(L"Headphones");
    CListener* pFollower = new CListener;
    ASSERT_TRUE(pFollower->InitializeFollowingDefault());
    m_service.DelayNext(eSimSetScalar, 300);
    std::thread calling([&] { EXPECT_TRUE(pFollower->SetVolume(0.3f, true)); });
    ASSERT_TRUE(WaitUntil([&] { return m_service.Calls(eSimSetScalar) == 1; }));
    m_service.SetDefault(iHeadphones);
    calling.join();
    ASSERT_TRUE(WaitUntil([&] { return pFollower->m_cChanges == 1; }));
    EXPECT_EQ(Level(m_iDefault), 0.3f);
    EXPECT_EQ(m_service.CallsOnReleased(), 0);

    m_service.DelayNext(eSimActivate, 300);
    m_service.SetDefault(m_iDefault);
    ASSERT_TRUE(WaitUntil([&] { return m_service.Calls(eSimActivate) == 3; }));
    delete pFollower;
    EXPECT_EQ(m_service.Live(), 0);
    EXPECT_EQ(m_service.Clients(), 0);
    EXPECT_EQ(RegisteredEndpoint(), -1);
}

}
