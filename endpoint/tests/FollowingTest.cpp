// Objects that follow the default endpoint: the moves, what they report, and what the platform
// asks of them (a notification client that does not do the work itself, calls that never reach
// a released control, a teardown that leaves no move behind).
#include "QuillonTest.h"

#include <algorithm>
#include <atomic>

#include "CScopedHandle.h"

namespace
{

// The follower moves when the default changes as it starts following (before its client is
// registered), when another endpoint becomes the default, and when its endpoint goes away. Each
// move is reported once, with the new endpoint's state and the moved context; the follower's own
// changes there stay unreported, others' do not. An object opened on the default stays.
TEST_F(QuillonTest, AFollowerMovesToTheNewDefaultAndReportsIt)
{
    const int iHeadphones = m_service.AddEndpoint(L"Headphones");
    const int iLineOut = m_service.AddEndpoint(L"Line Out");
    m_service.ChangeAsOther(iHeadphones, 0.25f, true, kGuidOther);
    m_service.ChangeAsOther(iLineOut, 0.75f, false, kGuidOther);
    CListener follower;
    CQuillon plain;
    ASSERT_TRUE(plain.Initialize(eFindDefault, nullptr));
    const struct
    {
        const char* pszWhat;
        std::function<void()> change;
        int iTo;
        float fLevel;
        bool bMuted;
    } steps[] = {
        {"following starts",
         [&] {
             m_service.OnNext("RegisterEndpointNotificationCallback",
                              [&] { return m_service.SetDefault(iLineOut), m_service.Flush(), S_OK; });
             ASSERT_TRUE(follower.InitializeFollowingDefault());
         },
         iLineOut, 0.75f, false},
        {"the default changes", [&] { m_service.SetDefault(iHeadphones); }, iHeadphones, 0.25f, true},
        {"the endpoint goes away", [&] { m_service.RemoveEndpoint(iHeadphones); }, m_iDefault, 0.5f, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.pszWhat);
        const LONG cHeard = follower.m_cChanges;
        step.change();
        ASSERT_TRUE(WaitUntil([&] { return follower.m_cChanges == cHeard + 1; }));
        EXPECT_EQ(follower.m_changes.back(), Change(step.fLevel, step.bMuted, QUILLON_CONTEXT_ENDPOINT_MOVED));
        std::vector<int> registrations = m_service.Registrations();
        std::sort(registrations.begin(), registrations.end());
        EXPECT_EQ(registrations, (std::vector<int>{-1, m_iDefault, step.iTo}));
        EXPECT_TRUE(follower.SetVolume(0.6f, true) && Level(step.iTo) == 0.6f);
        m_service.ChangeAsOther(step.iTo, 0.6f, false, kGuidOther);
        m_service.Flush();
        EXPECT_EQ(follower.m_cChanges, cHeard + 2);
        EXPECT_EQ(follower.m_changes.back(), Change(0.6f, false, kGuidOther));
    }
    EXPECT_NE(m_service.Call("GetDefaultAudioEndpoint").dwThread, m_service.NotificationThread());
}

// Holds up a move's report until told, and counts calls that overlap.
struct CHeldListener : CListener
{
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override
    {
        m_cOverlapping += InterlockedExchange(&m_lInside, 1);
        if (guidEventContext == QUILLON_CONTEXT_ENDPOINT_MOVED)
            WaitForSingleObject(m_hGo.Get(), 10000);
        CListener::OnVolumeChanged(fMasterVolume, bMuted, guidEventContext);
        InterlockedExchange(&m_lInside, 0);
    }
    CScopedHandle m_hGo{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    LONG m_lInside = 0;
    LONG m_cOverlapping = 0;
};

// A change that arrives while the follower hears a move's report (on another thread) waits its
// turn in the library, not on the platform's notification thread: the object hears one change
// at a time, in order.
TEST_F(QuillonTest, AFollowerHearsOneChangeAtATime)
{
    const int iHeadphones = m_service.AddEndpoint(L"Headphones");
    CHeldListener follower;
    ASSERT_TRUE(follower.InitializeFollowingDefault());
    m_service.SetDefault(iHeadphones);
    ASSERT_TRUE(WaitUntil([&] { return InterlockedCompareExchange(&follower.m_lInside, 0, 0) == 1; }));
    m_service.ChangeAsOther(iHeadphones, 0.7f, false, kGuidOther);
    EXPECT_TRUE(m_service.Flush(5000));
    SetEvent(follower.m_hGo.Get());
    ASSERT_TRUE(WaitUntil([&] { return follower.m_cChanges == 2; }));
    EXPECT_EQ(follower.m_cOverlapping, 0);
    EXPECT_EQ(follower.m_changes.back(), Change(0.7f, false, kGuidOther));
}

// A host call under way keeps the control it started on until it returns, while a move replaces
// it; destroying a follower while a move is under way waits for the move and leaves nothing
// registered or held.
TEST_F(QuillonTest, MovesNeverReachAReleasedControlOrOutliveTheObject)
{
    const int iHeadphones = m_service.AddEndpoint(L"Headphones");
    CListener* pFollower = new CListener;
    ASSERT_TRUE(pFollower->InitializeFollowingDefault());
    m_service.OnNext("SetMasterVolumeLevelScalar", [&] {
        m_service.SetDefault(iHeadphones);
        WaitUntil([&] { return m_service.Call("UnregisterControlChangeNotify").cCalls > 0; }, 500);
        return S_OK;
    });
    EXPECT_TRUE(pFollower->SetVolume(0.3f, true));
    ASSERT_TRUE(WaitUntil([&] { return pFollower->m_cChanges == 1; }));
    EXPECT_EQ(m_service.CallsOnReleased(), 0);

    CScopedHandle hMoving(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> bMoved(false);
    m_service.OnNext("Activate", [&] { return SetEvent(hMoving.Get()), Sleep(300), bMoved = true, S_OK; });
    m_service.SetDefault(m_iDefault);
    ASSERT_EQ(WaitForSingleObject(hMoving.Get(), 5000), WAIT_OBJECT_0);
    delete pFollower;
    EXPECT_TRUE(bMoved);
    EXPECT_EQ(m_service.Live(), 0);
    EXPECT_EQ(m_service.Registrations(), std::vector<int>());
}

}
