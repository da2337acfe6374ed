#include "QuillonTest.h"

#include <atomic>
#include <string>

namespace
{

TEST_F(QuillonTest, DefaultEndpointOpensWithoutReadingTheName)
{
    m_service.AddEndpoint(L"Line Out");
    for (int nMode : {0, 7}) {
        CQuillon quillon;
        EXPECT_TRUE(quillon.Initialize(static_cast<eFindDevice>(nMode), reinterpret_cast<const char*>(1)));
        EXPECT_EQ(RegisteredEndpoint(), m_iDefault);
    }
}

// The result is true exactly for success codes; a failure changes nothing; the library
// passes levels on unchecked and never hears its own changes.
TEST_F(QuillonTest, SetsAndReadsVolumeAndMuteByTheResultRule)
{
    CListener listener;
    ASSERT_TRUE(listener.Initialize(eFindDefault, nullptr));
    EXPECT_TRUE(listener.SetVolume(0.25f, true));
    EXPECT_EQ(Level(m_iDefault), 0.25f);
    EXPECT_TRUE(listener.SetVolume(-6.0f, false));
    float fLevel = 0.0f;
    EXPECT_TRUE(listener.GetVolume(&fLevel, false));
    EXPECT_EQ(fLevel, -6.0f);
    EXPECT_TRUE(listener.GetVolume(&fLevel, true));
    EXPECT_EQ(fLevel, Level(m_iDefault));
    EXPECT_FALSE(listener.SetVolume(1.5f, true));
    EXPECT_FALSE(listener.SetVolume(6.0f, false));
    m_service.FailNext(eSimGetScalar);
    EXPECT_FALSE(listener.GetVolume(&fLevel, true));
    EXPECT_FALSE(listener.GetVolume(nullptr, true));

    m_service.FailNext(eSimSetMute, S_FALSE);
    EXPECT_TRUE(listener.SetMute(true));
    m_service.FailNext(eSimSetMute);
    EXPECT_FALSE(listener.SetMute(false));
    bool bMuted = false;
    EXPECT_TRUE(listener.GetMute(&bMuted));
    EXPECT_TRUE(bMuted);
    m_service.FailNext(eSimGetMute);
    EXPECT_FALSE(listener.GetMute(&bMuted));
    EXPECT_TRUE(bMuted);
    EXPECT_FALSE(listener.GetMute(nullptr));
    m_service.Flush();
    EXPECT_TRUE(listener.m_changes.empty());
}

// Each failing step (or a search without a match) leaves held what was acquired before it
// until the next Initialize; one failure for one endpoint ends a name search although a later
// endpoint matches. Without a volume control the operations fail and do nothing.
TEST_F(QuillonTest, FailedStepKeepsWhatWasAcquired)
{
    struct Row
    {
        eSimCall call;
        eFindDevice eFind;
        const char* pszName;
        int cEnumerators, cDevices, cVolumes;
    };
    const eSimCall eNone = eSimCallCount;
    const Row rows[] = {
        {eSimCreateEnumerator, eFindDefault, "wanted", 0, 0, 0},
        {eSimEnumEndpoints, eFindByName, "wanted", 1, 0, 0},
        {eSimGetCount, eFindByName, "wanted", 1, 0, 0},
        {eSimItem, eFindByName, "wanted", 1, 0, 0},
        {eSimOpenPropertyStore, eFindByName, "wanted", 1, 0, 0},
        {eSimGetValue, eFindByName, "wanted", 1, 0, 0},
        {eNone, eFindByName, "Speakers (Default)", 1, 0, 0},
        {eNone, eFindByName, "{0.0.0.00000000}.{default", 1, 0, 0},
        {eNone, eFindByName, nullptr, 1, 0, 0},
        {eSimGetDefault, eFindDefault, "wanted", 1, 0, 0},
        {eSimActivate, eFindDefault, "wanted", 1, 1, 0},
        {eSimRegister, eFindByName, "wanted", 1, 1, 1},
    };
    int iWanted = m_service.AddEndpoint(L"Wanted");
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "call " << row.call << ", name " << (row.pszName ? row.pszName : "null"));
        {
            CQuillon quillon;
            ExpectOperations(quillon, false);
            if (row.call != eNone)
                m_service.FailNext(row.call);
            EXPECT_FALSE(quillon.Initialize(row.eFind, row.pszName));
            EXPECT_EQ(m_service.Live(eSimEnumerator), row.cEnumerators);
            EXPECT_EQ(m_service.Live(eSimDevice), row.cDevices);
            EXPECT_EQ(m_service.Live(eSimVolume), row.cVolumes);
            EXPECT_EQ(m_service.Live(), row.cEnumerators + row.cDevices + row.cVolumes);
            EXPECT_EQ(RegisteredEndpoint(), -1);
            ExpectOperations(quillon, row.cVolumes == 1);

            EXPECT_TRUE(quillon.Initialize(eFindByName, "wanted"));
            EXPECT_EQ(RegisteredEndpoint(), iWanted);
            EXPECT_EQ(m_service.Live(), 3);
        }
        EXPECT_EQ(m_service.Live(), 0);
        EXPECT_EQ(RegisteredEndpoint(), -1);
    }
}

TEST_F(QuillonTest, NameMatchesDeviceKeyIgnoringAsciiCaseOnly)
{
    m_service.AddEndpoint(nullptr);
    int iLineOut = m_service.AddEndpoint(L"Line Out");
    int iEcho = m_service.AddEndpoint(L"\u00C9cho");
    int iCyrillic = m_service.AddEndpoint(L"\u0410x");
    int iLong = m_service.AddEndpoint(std::wstring(300, L'A').c_str());
    int iTwin = m_service.AddEndpoint(L"Twin");
    m_service.AddEndpoint(L"twin");
    int iBounds = m_service.AddEndpoint(L"Zed@[");

    EXPECT_EQ(OpenByName("lINE oUT"), iLineOut);
    EXPECT_EQ(OpenByName("\xC9"
                         "cho"),
              iEcho);
    EXPECT_EQ(OpenByName("\xE9"
                         "cho"),
              -1);
    EXPECT_EQ(OpenByName("\x10x"), iCyrillic);
    EXPECT_EQ(OpenByName(std::string(255, 'a').c_str()), iLong);
    EXPECT_EQ(OpenByName(std::string(256, 'a').c_str()), -1);
    EXPECT_EQ(OpenByName(std::string(300, 'A').c_str()), -1);
    EXPECT_EQ(OpenByName("TWIN"), iTwin);
    // The letters' ends fold; the bytes beside them do not.
    EXPECT_EQ(OpenByName("zED@["), iBounds);
    EXPECT_EQ(OpenByName("Zed`{"), -1);
    EXPECT_EQ(m_service.Live(), 0);
    EXPECT_EQ(CSimAudioService::LiveStrings(), 0);
}

TEST_F(QuillonTest, TestStepsScalarLevelInSinglePrecision)
{
    // Starting level, mode, level set. The last two come out otherwise with a step of 0.01 in
    // double precision: 0x1.8p-32 + 0.01 rounds up to the float after 0.01f, and the float
    // after 0.01f (0x1.47ae16p-7) less 0.01 is not 2^-30.
    const float rgRows[][3] = {
        {0.5f, 1, 0.51f}, {0.99f, 1, 1.0f},  {0.995f, 1, 1.0f}, {1.0f, 1, 1.0f},        {0.5f, 2, 0.49f},
        {0.01f, 2, 0.0f}, {0.005f, 2, 0.0f}, {0.0f, 2, 0.0f},   {0x1.8p-32f, 1, 0.01f}, {0x1.47ae16p-7f, 2, 0x1p-30f}};
    CListener listener;
    ASSERT_TRUE(listener.Initialize(eFindDefault, nullptr));
    for (const float* pRow : rgRows) {
        listener.SetVolume(pRow[0], true);
        listener.Test(static_cast<int>(pRow[1]));
        EXPECT_EQ(Level(m_iDefault), pRow[2]) << pRow[0] << " mode " << pRow[1];
    }
    // Other modes make no call, mode 3 only reads, and a failed read sets nothing.
    int cReads = m_service.Calls(eSimGetScalar);
    int cSets = m_service.Calls(eSimSetScalar);
    for (int nMode : {0, 4, -1})
        listener.Test(nMode);
    EXPECT_EQ(m_service.Calls(eSimGetScalar), cReads);
    listener.Test(3);
    m_service.FailNext(eSimGetScalar);
    listener.Test(1);
    EXPECT_EQ(m_service.Calls(eSimGetScalar), cReads + 2);
    EXPECT_EQ(m_service.Calls(eSimSetScalar), cSets);
    m_service.Flush();
    EXPECT_TRUE(listener.m_changes.empty());
}

// Each object hears the other's changes and other programs' ones once, with the changer's
// context (a new one for each Initialize), and never its own.
TEST_F(QuillonTest, ObjectsHearOthersChangesOnceWithTheirContext)
{
    CListener first;
    CListener second;
    ASSERT_TRUE(first.Initialize(eFindDefault, nullptr));
    ASSERT_TRUE(second.Initialize(eFindDefault, nullptr));
    ASSERT_TRUE(first.SetVolume(0.2f, true));
    GUID guidFirst = LastContext(m_iDefault);
    ASSERT_TRUE(second.SetMute(true));
    GUID guidSecond = LastContext(m_iDefault);
    EXPECT_NE(guidFirst, guidSecond);
    m_service.ChangeAsOther(m_iDefault, 0.3f, false, kGuidOther);
    m_service.ChangeAsOther(m_iDefault, 0.7f, true, GUID_NULL);
    m_service.Flush();

    for (CListener* pListener : {&first, &second}) {
        const std::vector<AUDIO_VOLUME_NOTIFICATION_DATA>& changes = pListener->m_changes;
        ASSERT_EQ(changes.size(), 3u);
        EXPECT_EQ(changes[0].guidEventContext, pListener == &first ? guidSecond : guidFirst);
        EXPECT_EQ(changes[0].fMasterVolume, 0.2f);
        EXPECT_EQ(changes[0].bMuted, pListener == &first ? TRUE : FALSE);
        EXPECT_EQ(changes[1].fMasterVolume, 0.3f);
        EXPECT_FALSE(changes[1].bMuted);
        EXPECT_EQ(changes[1].guidEventContext, kGuidOther);
        EXPECT_EQ(changes[2].fMasterVolume, 0.7f);
        EXPECT_TRUE(changes[2].bMuted);
        EXPECT_EQ(changes[2].guidEventContext, GUID_NULL);
    }
}

// Only the whole of an object's own event context marks its own change: one differing in any
// part is another's.
TEST_F(QuillonTest, OnlyTheWholeOwnContextMarksOwnChanges)
{
    CListener listener;
    ASSERT_TRUE(listener.Initialize(eFindDefault, nullptr));
    ASSERT_TRUE(listener.SetMute(true));
    const GUID guidOwn = LastContext(m_iDefault);
    GUID rgguidNear[] = {guidOwn, guidOwn, guidOwn};
    rgguidNear[0].Data2 ^= 1;
    rgguidNear[1].Data3 ^= 1;
    rgguidNear[2].Data4[7] ^= 1;
    for (const GUID& guidNear : rgguidNear)
        m_service.ChangeAsOther(m_iDefault, 0.6f, false, guidNear);
    m_service.ChangeAsOther(m_iDefault, 0.7f, false, guidOwn);
    m_service.Flush();
    ASSERT_EQ(listener.m_changes.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(listener.m_changes[i].guidEventContext, rgguidNear[i]);
}

TEST_F(QuillonTest, CallbackAnswersOnlyItsOwnInterfaces)
{
    CQuillon quillon;
    ASSERT_TRUE(quillon.Initialize(eFindDefault, nullptr));
    IAudioEndpointVolumeCallback* pCallback = m_service.Endpoint(m_iDefault).callbacks.at(0);
    void* pv = pCallback;
    EXPECT_EQ(pCallback->QueryInterface(__uuidof(IAudioEndpointVolume), &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(pCallback->QueryInterface(__uuidof(IAudioEndpointVolumeCallback), &pv), S_OK);
    EXPECT_EQ(pv, pCallback);
    pCallback->Release();
    EXPECT_EQ(pCallback->OnNotify(nullptr), E_INVALIDARG);
}

TEST_F(QuillonTest, SecondInitializeReleasesTheFirstEndpoint)
{
    int iLineOut = m_service.AddEndpoint(L"Line Out");
    CListener listener;
    ASSERT_TRUE(listener.Initialize(eFindByName, "line out"));
    ASSERT_TRUE(listener.SetMute(true));
    ASSERT_TRUE(listener.Initialize(eFindDefault, nullptr));
    ASSERT_TRUE(listener.SetMute(true));
    EXPECT_NE(LastContext(m_iDefault), LastContext(iLineOut));
    EXPECT_TRUE(m_service.Endpoint(iLineOut).callbacks.empty());
    EXPECT_EQ(m_service.Endpoint(m_iDefault).callbacks.size(), 1u);
    EXPECT_EQ(m_service.Live(), 3);
    m_service.ChangeAsOther(iLineOut, 0.1f, false, kGuidOther);
    m_service.ChangeAsOther(m_iDefault, 0.9f, false, kGuidOther);
    m_service.Flush();
    ASSERT_EQ(listener.m_changes.size(), 1u);
    EXPECT_EQ(listener.m_changes[0].fMasterVolume, 0.9f);
}

// Copies share the endpoint; only the object that made the implementation is told of changes,
// until it is destroyed or assigned over; the last object using an endpoint releases it.
TEST_F(QuillonTest, CopiesShareTheEndpointUntilTheLastGoes)
{
    int iLineOut = m_service.AddEndpoint(L"Line Out");
    {
        CListener* pOwner = new CListener;
        ASSERT_TRUE(pOwner->Initialize(eFindDefault, nullptr));
        CListener copy(*pOwner);
        EXPECT_TRUE(copy.SetVolume(0.3f, true));
        EXPECT_EQ(Level(m_iDefault), 0.3f);
        m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
        m_service.Flush();
        EXPECT_EQ(pOwner->m_changes.size(), 1u);
        EXPECT_TRUE(copy.m_changes.empty());
        delete pOwner;
        EXPECT_EQ(RegisteredEndpoint(), -1);
        EXPECT_EQ(m_service.Live(), 3);
        copy = copy;
        EXPECT_TRUE(copy.SetVolume(0.6f, true));
    }
    EXPECT_EQ(m_service.Live(), 0);
    m_service.Flush();

    CListener target;
    CListener source;
    ASSERT_TRUE(target.Initialize(eFindByName, "Line Out"));
    ASSERT_TRUE(source.Initialize(eFindDefault, nullptr));
    {
        CQuillon keeper(target);
        target = source;
        EXPECT_TRUE(m_service.Endpoint(iLineOut).callbacks.empty());
        EXPECT_TRUE(keeper.SetVolume(0.2f, true));
        EXPECT_EQ(Level(iLineOut), 0.2f);
        EXPECT_EQ(m_service.Live(eSimVolume), 2);
    }
    EXPECT_EQ(m_service.Live(eSimVolume), 1);
    EXPECT_TRUE(target.SetVolume(0.9f, true));
    EXPECT_EQ(Level(m_iDefault), 0.9f);
    m_service.ChangeAsOther(iLineOut, 0.1f, false, kGuidOther);
    m_service.ChangeAsOther(m_iDefault, 0.1f, false, kGuidOther);
    m_service.Flush();
    EXPECT_TRUE(target.m_changes.empty());
    EXPECT_EQ(source.m_changes.size(), 1u);
}

// Stays inside OnVolumeChanged for a while and records whether its memory was freed meanwhile.
HANDLE g_hEntered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
std::atomic<bool> g_bInsideDelivery(false);
std::atomic<bool> g_bFreedDuringDelivery(false);

struct CSlowListener : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override
    {
        g_bInsideDelivery = true;
        SetEvent(g_hEntered);
        Sleep(200);
        g_bInsideDelivery = false;
    }
    static void operator delete(void* pv)
    {
        g_bFreedDuringDelivery = g_bFreedDuringDelivery || g_bInsideDelivery;
        CQuillon::operator delete(pv);
    }
};

// The library itself waits: the service here does not hold the teardown up in Unregister.
TEST_F(QuillonTest, DestructionOnAHostThreadWaitsForADeliveryInProgress)
{
    m_service.UnregisterWithoutWaiting();
    CSlowListener* pSlow = new CSlowListener;
    ASSERT_TRUE(pSlow->Initialize(eFindDefault, nullptr));
    m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
    ASSERT_EQ(WaitForSingleObject(g_hEntered, INFINITE), WAIT_OBJECT_0);
    delete pSlow;
    EXPECT_FALSE(g_bFreedDuringDelivery);
    EXPECT_EQ(RegisteredEndpoint(), -1);
}

}
