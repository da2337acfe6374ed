// Quillon against the simulated service, through the class and the C interface: what a failed
// Initialize holds, the name search, Test's steps, who hears which change, copies, following the
// default endpoint, the C functions' results and the list of endpoints.
#include "QuillonTest.h"

#include <atomic>
#include <string>

#include "CScopedHandle.h"

namespace
{

// What a failing step leaves held stays held until the next Initialize; a name search ends at the
// first failure although a later endpoint matches. With the volume control held the calls work
// (although no change would be reported).
TEST_F(QuillonTest, AFailedInitializeKeepsWhatItAcquired)
{
    const int iWanted = m_service.AddEndpoint(L"Wanted");
    // The failing call, and the service's objects held after it: enumerator, device, control.
    const struct
    {
        const char* pszFailing;
        eFindDevice eFind;
        const char* pszName;
        int cHeld;
    } rows[] = {
        {"CreateInstance", eFindDefault, nullptr, 0},
        {"EnumAudioEndpoints", eFindByName, "wanted", 1},
        {"GetCount", eFindByName, "wanted", 1},
        {"Item", eFindByName, "wanted", 1},
        {"OpenPropertyStore", eFindByName, "wanted", 1},
        {"GetValue", eFindByName, "wanted", 1},
        {"none: a friendly name is no key", eFindByName, "Speakers (Default)", 1},
        {"none: nor is the start of a key", eFindByName, "{0.0.0.00000000}.{default", 1},
        {"none: no name", eFindByName, nullptr, 1},
        {"GetDefaultAudioEndpoint", eFindDefault, nullptr, 1},
        {"Activate", eFindDefault, nullptr, 2},
        {"RegisterControlChangeNotify", eFindByName, "wanted", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszFailing);
        CQuillon quillon;
        m_service.OnNext(row.pszFailing, [] { return E_FAIL; });
        EXPECT_FALSE(quillon.Initialize(row.eFind, row.pszName));
        EXPECT_EQ(m_service.Live(), row.cHeld);
        EXPECT_EQ(m_service.Registrations(), std::vector<int>());
        EXPECT_EQ(quillon.SetVolume(0.5f, true), row.cHeld == 3);
        EXPECT_TRUE(quillon.Initialize(eFindByName, "wanted"));
        EXPECT_EQ(m_service.Registrations(), std::vector<int>{iWanted});
        EXPECT_EQ(m_service.Live(), 3);
    }
    EXPECT_EQ(m_service.Live(), 0);
}

// A name finds the first endpoint whose device key equals it with ASCII letters folded, the key
// taken unit by unit as its low byte, 255 units at most. Every property value read is freed (a
// key without text is an object here, which stays live when its value is not cleared).
TEST_F(QuillonTest, NamesMatchDeviceKeysIgnoringAsciiCaseOnly)
{
    const std::wstring strLong(300, L'A');
    const std::string str255(255, 'a'), str256(256, 'a');
    for (const wchar_t* pszKey : {static_cast<const wchar_t*>(nullptr), L"Line Out", L"\u00C9cho", L"\u0410x", L"Twin",
                                  L"twin", L"Zed@[", strLong.c_str()})
        m_service.AddEndpoint(pszKey);
    // The name, and the endpoint that it opens (-1: none). "\xC9\x63ho" is "Echo" with an acute
    // accent in Latin-1.
    const std::pair<const char*, int> rows[] = {{"lINE oUT", 2}, {"\xC9\x63ho", 3},   {"\xE9\x63ho", -1},
                                                {"\x10x", 4},    {"TWIN", 5},         {"zED@[", 7},
                                                {"Zed`{", -1},   {str255.c_str(), 8}, {str256.c_str(), -1}};
    for (const auto& row : rows) {
        CQuillon quillon;
        const bool bFound = quillon.Initialize(eFindByName, row.first);
        EXPECT_EQ(bFound ? m_service.Registrations().at(0) : -1, row.second) << row.first;
    }
    EXPECT_EQ(m_service.Live(), 0);
}

// Modes 1 and 2 step the scalar level by 0.01 in single precision, within 0 to 1, as the object's
// own change; other modes, and a level that cannot be read, change nothing. The last two rows come
// out otherwise with a step of 0.01 in double precision. (A find mode other than eFindByName opens
// the default endpoint without reading the name.)
TEST_F(QuillonTest, TestStepsTheLevelInSinglePrecision)
{
    const float rows[][3] = {{0.5f, 1, 0.51f},  {0.995f, 1, 1.0f},      {0.5f, 2, 0.49f},
                             {0.005f, 2, 0.0f}, {0.5f, 3, 0.5f},        {0.5f, 0, 0.5f},
                             {0.5f, 4, 0.5f},   {0x1.8p-32f, 1, 0.01f}, {0x1.47ae16p-7f, 2, 0x1p-30f}};
    CListener listener;
    ASSERT_TRUE(listener.Initialize(static_cast<eFindDevice>(7), reinterpret_cast<const char*>(1)));
    for (const float* pRow : rows) {
        ASSERT_TRUE(listener.SetVolume(pRow[0], true));
        listener.Test(static_cast<int>(pRow[1]));
        EXPECT_EQ(Level(m_iDefault), pRow[2]) << pRow[0] << " mode " << pRow[1];
    }
    m_service.OnNext("GetMasterVolumeLevelScalar", [] { return E_FAIL; });
    listener.Test(1);
    EXPECT_EQ(Level(m_iDefault), 0x1p-30f);
    m_service.Flush();
    EXPECT_TRUE(listener.m_changes.empty());
}

// Each object hears the other's changes and other programs' once, with the changer's context
// (each Initialize has its own), and never its own: only the whole of its context is its own.
TEST_F(QuillonTest, ObjectsHearOthersChangesOnceWithTheirContext)
{
    CListener first, second;
    ASSERT_TRUE(first.Initialize(eFindDefault, nullptr) && second.Initialize(eFindDefault, nullptr));
    ASSERT_TRUE(first.SetVolume(0.25f, true));
    const GUID guidFirst = m_service.Endpoint(m_iDefault).guidLastContext;
    ASSERT_TRUE(second.SetMute(true));
    std::vector<Change> heardByFirst = {Change(0.25f, true, m_service.Endpoint(m_iDefault).guidLastContext)};
    std::vector<Change> heardBySecond = {Change(0.25f, false, guidFirst)};
    GUID rgguidNear[] = {guidFirst, guidFirst, guidFirst, guidFirst};
    rgguidNear[0].Data2 ^= 1;
    rgguidNear[1].Data3 ^= 1;
    rgguidNear[2].Data4[7] ^= 1;
    for (const GUID& guid : {kGuidOther, GUID_NULL, rgguidNear[0], rgguidNear[1], rgguidNear[2], rgguidNear[3]}) {
        m_service.ChangeAsOther(m_iDefault, 0.5f, false, guid);
        if (guid != guidFirst)
            heardByFirst.emplace_back(0.5f, false, guid);
        heardBySecond.emplace_back(0.5f, false, guid);
    }
    m_service.Flush();
    EXPECT_EQ(first.m_changes, heardByFirst);
    EXPECT_EQ(second.m_changes, heardBySecond);
}

// A copy shares the endpoint, and its changes are the owner's own; only the owner is notified,
// until it goes, and the last object lets the endpoint go. Assignment lets go of the target's
// endpoint (a copy of the target keeps it) and shares the source's, unnotified; an owner assigned
// to itself stays notified. Initialize on a copy gives it an endpoint of its own, and a second
// Initialize releases the first one's.
TEST_F(QuillonTest, CopiesShareTheEndpointAndOnlyTheOwnerIsNotified)
{
    const int iLineOut = m_service.AddEndpoint(L"Line Out");
    CListener* pOwner = new CListener;
    ASSERT_TRUE(pOwner->Initialize(eFindByName, "line out"));
    CListener copy(*pOwner);
    CListener target;
    ASSERT_TRUE(target.Initialize(eFindDefault, nullptr));
    CQuillon keeper(target);
    target = *pOwner;
    *pOwner = *pOwner;
    EXPECT_EQ(m_service.Registrations(), std::vector<int>{iLineOut});
    EXPECT_TRUE(keeper.SetVolume(0.2f, true) && copy.SetVolume(0.3f, true));
    EXPECT_TRUE(Level(m_iDefault) == 0.2f && Level(iLineOut) == 0.3f);
    m_service.ChangeAsOther(iLineOut, 0.4f, false, kGuidOther);
    m_service.Flush();
    EXPECT_EQ(pOwner->m_changes, std::vector<Change>{Change(0.4f, false, kGuidOther)});
    EXPECT_TRUE(copy.m_changes.empty() && target.m_changes.empty());
    delete pOwner;
    EXPECT_EQ(m_service.Registrations(), std::vector<int>());
    EXPECT_TRUE(target.SetVolume(0.6f, true) && Level(iLineOut) == 0.6f);
    m_service.Flush();

    ASSERT_TRUE(copy.Initialize(eFindDefault, nullptr) && copy.Initialize(eFindByName, "line out"));
    EXPECT_EQ(m_service.Registrations(), std::vector<int>{iLineOut});
    EXPECT_EQ(m_service.Live(), 9);
    m_service.ChangeAsOther(iLineOut, 0.7f, false, kGuidOther);
    m_service.Flush();
    EXPECT_EQ(copy.m_changes, std::vector<Change>{Change(0.7f, false, kGuidOther)});
    EXPECT_TRUE(target.m_changes.empty());
}

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
        EXPECT_EQ(m_service.Registrations(), (std::vector<int>{-1, m_iDefault, iTo}));
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

// Each row runs in turn on one handle; the result says why a call failed, and a read that fails
// leaves the value as it was.
TEST_F(QuillonTest, CFunctionsSayWhyACallFailed)
{
    m_service.AddEndpoint(L"Line Out");
    QUILLON_HANDLE hQuillon = nullptr;
    ASSERT_EQ(Quillon_Create(&hQuillon), S_OK);
    float fDb = 0.0f;
    BOOL bMuted = TRUE;
    const struct
    {
        const char* pszWhat;
        std::function<HRESULT()> call;
        HRESULT hr;
    } rows[] = {
        {"no out pointer", [&] { return Quillon_Create(nullptr); }, E_POINTER},
        {"no handle", [&] { return Quillon_SetVolume(nullptr, 0.5f); }, E_POINTER},
        {"no endpoint open", [&] { return Quillon_GetMute(hQuillon, &bMuted); }, QUILLON_E_NOT_INITIALIZED},
        {"no key", [&] { return Quillon_InitializeByKey(hQuillon, nullptr); }, E_POINTER},
        {"an unknown key", [&] { return Quillon_InitializeByKey(hQuillon, "Line In"); }, QUILLON_E_NOT_FOUND},
        {"a key", [&] { return Quillon_InitializeByKey(hQuillon, "LINE OUT"); }, S_OK},
        {"the platform's failure",
         [&] { return m_service.OnNext("GetMute", [] { return E_ACCESSDENIED; }), Quillon_GetMute(hQuillon, &bMuted); },
         E_ACCESSDENIED},
        {"decibels", [&] { return Quillon_SetVolumeDb(hQuillon, -6.0f); }, S_OK},
        {"read in decibels", [&] { return Quillon_GetVolumeDb(hQuillon, &fDb); }, S_OK},
        {"no out pointer", [&] { return Quillon_GetVolume(hQuillon, nullptr); }, E_POINTER},
        {"the default endpoint", [&] { return Quillon_InitializeDefault(hQuillon); }, S_OK},
        {"a scalar level", [&] { return Quillon_SetVolume(hQuillon, 0.25f); }, S_OK},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.call(), row.hr) << row.pszWhat;
    EXPECT_EQ(fDb, -6.0f);
    EXPECT_EQ(bMuted, TRUE);
    EXPECT_EQ(Level(m_iDefault), 0.25f);
    Quillon_Destroy(hQuillon);
    Quillon_Destroy(nullptr);
    EXPECT_EQ(m_service.Live(), 0);
}

// The active endpoints in the platform's order: each key as eFindByName matches it and as given,
// each name as UTF-8 and UTF-16, the default marked; a listed key opens its endpoint; a failing
// platform call fails the whole list. Every property value read is freed.
TEST_F(QuillonTest, ListsTheActiveEndpointsWithKeysNamesAndTheDefault)
{
    const int iEcho = m_service.AddEndpoint(L"\u00C9cho", L"Haut-parleurs \u00E9cho");
    m_service.RemoveEndpoint(m_service.AddEndpoint(L"Gone"));
    m_service.AddEndpoint(nullptr, L"");
    m_service.SetDefault(iEcho);
    const QUILLON_ENDPOINT rows[] = {
        {"{0.0.0.00000000}.{default}", L"{0.0.0.00000000}.{default}", "Speakers (Default)", L"Speakers (Default)",
         FALSE},
        {"\xC9\x63ho", L"\u00C9cho", "Haut-parleurs \xC3\xA9\x63ho", L"Haut-parleurs \u00E9cho", TRUE},
        {"", L"", "", L"", FALSE}};
    QUILLON_ENDPOINT_LIST* pList = nullptr;
    ASSERT_EQ(CQuillon::ListEndpoints(&pList), S_OK);
    ASSERT_EQ(Quillon_EndpointCount(pList), 3u);
    for (UINT32 i = 0; i < 3; ++i) {
        QUILLON_ENDPOINT endpoint;
        ASSERT_EQ(Quillon_GetEndpoint(pList, i, &endpoint), S_OK);
        EXPECT_STREQ(endpoint.pszKey, rows[i].pszKey);
        EXPECT_STREQ(endpoint.pwszKey, rows[i].pwszKey);
        EXPECT_STREQ(endpoint.pszName, rows[i].pszName);
        EXPECT_STREQ(endpoint.pwszName, rows[i].pwszName);
        EXPECT_EQ(endpoint.bDefault, rows[i].bDefault) << i;
    }
    QUILLON_ENDPOINT endpoint;
    EXPECT_EQ(Quillon_GetEndpoint(pList, 3, &endpoint), E_INVALIDARG);
    Quillon_FreeEndpointList(pList);
    CQuillon* pQuillon = new CQuillon;
    EXPECT_TRUE(pQuillon->Initialize(eFindByName, rows[1].pszKey) &&
                m_service.Registrations() == std::vector<int>{iEcho});
    delete pQuillon;
    m_service.OnNext("GetValue", [] { return E_ACCESSDENIED; });
    EXPECT_EQ(Quillon_ListEndpoints(&pList), E_ACCESSDENIED);
    EXPECT_EQ(pList, nullptr);
    EXPECT_EQ(m_service.Live(), 0);
}

}
