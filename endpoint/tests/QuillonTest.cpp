// The class against the simulated service: results, what a failed Initialize holds, the name
// search, Test's steps, who hears which change, and copies.
#include "QuillonTest.h"

#include <string>

namespace
{

// True exactly when the platform's call succeeds (any success code); a read that fails leaves the
// value as it was; the object never hears its own changes. A find mode other than eFindByName opens
// the default endpoint without reading the name.
TEST_F(QuillonTest, CallsSucceedExactlyWhenThePlatformDoes)
{
    CListener listener;
    ASSERT_TRUE(listener.Initialize(static_cast<eFindDevice>(7), reinterpret_cast<const char*>(1)));
    float fLevel = 0.0f;
    bool bMuted = false;
    EXPECT_TRUE(listener.SetVolume(-6.0f, false));
    EXPECT_TRUE(listener.GetVolume(&fLevel, true) && fLevel == 0.90625f);
    EXPECT_TRUE(listener.GetVolume(&fLevel, false) && fLevel == -6.0f);
    EXPECT_TRUE(listener.SetVolume(0.25f, true) && Level(m_iDefault) == 0.25f);
    EXPECT_FALSE(listener.SetVolume(1.5f, true));
    m_service.FailNext("SetMute", S_FALSE);
    EXPECT_TRUE(listener.SetMute(true) && listener.GetMute(&bMuted) && bMuted);
    m_service.FailNext("GetMute");
    EXPECT_FALSE(listener.GetMute(&bMuted));
    m_service.FailNext("GetMasterVolumeLevelScalar");
    EXPECT_FALSE(listener.GetVolume(&fLevel, true));
    EXPECT_TRUE(bMuted && fLevel == -6.0f);
    m_service.Flush();
    EXPECT_TRUE(listener.m_changes.empty());
}

// What a failing step leaves held stays held until the next Initialize; a name search ends at
// the first failure although a later endpoint matches; with the volume control held the calls
// work (although no change would be reported).
TEST_F(QuillonTest, AFailedInitializeKeepsWhatItAcquired)
{
    const int iWanted = m_service.AddEndpoint(L"Wanted");
    const struct
    {
        const char* pszFailing;
        eFindDevice eFind;
        const char* pszName;
        int cEnumerators, cDevices, cVolumes;
    } rows[] = {
        {"CreateInstance", eFindDefault, nullptr, 0, 0, 0},
        {"EnumAudioEndpoints", eFindByName, "wanted", 1, 0, 0},
        {"GetCount", eFindByName, "wanted", 1, 0, 0},
        {"Item", eFindByName, "wanted", 1, 0, 0},
        {"OpenPropertyStore", eFindByName, "wanted", 1, 0, 0},
        {"GetValue", eFindByName, "wanted", 1, 0, 0},
        {"none: the friendly name is no key", eFindByName, "Speakers (Default)", 1, 0, 0},
        {"none: nor is the start of a key", eFindByName, "{0.0.0.00000000}.{default", 1, 0, 0},
        {"none: no name", eFindByName, nullptr, 1, 0, 0},
        {"GetDefaultAudioEndpoint", eFindDefault, nullptr, 1, 0, 0},
        {"Activate", eFindDefault, nullptr, 1, 1, 0},
        {"RegisterControlChangeNotify", eFindByName, "wanted", 1, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszFailing);
        CQuillon quillon;
        m_service.FailNext(row.pszFailing);
        EXPECT_FALSE(quillon.Initialize(row.eFind, row.pszName));
        EXPECT_EQ(m_service.Live("IMMDeviceEnumerator"), row.cEnumerators);
        EXPECT_EQ(m_service.Live("IMMDevice"), row.cDevices);
        EXPECT_EQ(m_service.Live("IAudioEndpointVolume"), row.cVolumes);
        EXPECT_EQ(m_service.Live(), row.cEnumerators + row.cDevices + row.cVolumes);
        EXPECT_EQ(m_service.Registrations(), std::vector<int>());
        EXPECT_EQ(quillon.SetVolume(0.5f, true), row.cVolumes == 1);
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
    m_service.AddEndpoint(nullptr);
    const int iLineOut = m_service.AddEndpoint(L"Line Out");
    const int iEcho = m_service.AddEndpoint(L"\u00C9cho");
    const int iCyrillic = m_service.AddEndpoint(L"\u0410x");
    const int iLong = m_service.AddEndpoint(std::wstring(300, L'A').c_str());
    const int iTwin = m_service.AddEndpoint(L"Twin");
    m_service.AddEndpoint(L"twin");
    const int iEnds = m_service.AddEndpoint(L"Zed@[");
    // "\xC9\x63ho" is "Echo" with an acute accent in Latin-1.
    const std::pair<std::string, int> rows[] = {{"lINE oUT", iLineOut},
                                                {"\xC9\x63ho", iEcho},
                                                {"\xE9\x63ho", -1},
                                                {"\x10x", iCyrillic},
                                                {"TWIN", iTwin},
                                                {"zED@[", iEnds},
                                                {"Zed`{", -1},
                                                {std::string(255, 'a'), iLong},
                                                {std::string(256, 'a'), -1}};
    for (const auto& row : rows) {
        CQuillon quillon;
        const bool bFound = quillon.Initialize(eFindByName, row.first.c_str());
        EXPECT_EQ(bFound ? m_service.Registrations().at(0) : -1, row.second) << row.first;
    }
    EXPECT_EQ(m_service.Live(), 0);
}

// Modes 1 and 2 step the scalar level by 0.01 in single precision, within 0 to 1, as the
// object's own change; other modes, and a level that cannot be read, change nothing. The last
// two rows come out otherwise with a step of 0.01 in double precision.
TEST_F(QuillonTest, TestStepsTheLevelInSinglePrecision)
{
    const float rows[][3] = {{0.5f, 1, 0.51f},  {0.995f, 1, 1.0f},      {0.5f, 2, 0.49f},
                             {0.005f, 2, 0.0f}, {0.5f, 3, 0.5f},        {0.5f, 0, 0.5f},
                             {0.5f, 4, 0.5f},   {0x1.8p-32f, 1, 0.01f}, {0x1.47ae16p-7f, 2, 0x1p-30f}};
    CListener listener;
    ASSERT_TRUE(listener.Initialize(eFindDefault, nullptr));
    for (const float* pRow : rows) {
        ASSERT_TRUE(listener.SetVolume(pRow[0], true));
        listener.Test(static_cast<int>(pRow[1]));
        EXPECT_EQ(Level(m_iDefault), pRow[2]) << pRow[0] << " mode " << pRow[1];
    }
    m_service.FailNext("GetMasterVolumeLevelScalar");
    listener.Test(1);
    EXPECT_EQ(Level(m_iDefault), 0x1p-30f);
    m_service.Flush();
    EXPECT_TRUE(listener.m_changes.empty());
}

// Each object hears the other's changes and other programs' once, with the changer's context
// (each Initialize has its own), and never its own: only the whole of its context is its own.
TEST_F(QuillonTest, ObjectsHearOthersChangesOnceWithTheirContext)
{
    CListener first;
    CListener second;
    ASSERT_TRUE(first.Initialize(eFindDefault, nullptr) && second.Initialize(eFindDefault, nullptr));
    ASSERT_TRUE(first.SetVolume(0.25f, true));
    const GUID guidFirst = LastContext(m_iDefault);
    ASSERT_TRUE(second.SetMute(true));
    std::vector<Change> heardByFirst = {Change(0.25f, true, LastContext(m_iDefault))};
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
    EXPECT_EQ(Level(m_iDefault), 0.2f);
    EXPECT_EQ(Level(iLineOut), 0.3f);
    m_service.ChangeAsOther(iLineOut, 0.4f, false, kGuidOther);
    m_service.Flush();
    EXPECT_EQ(pOwner->m_changes, std::vector<Change>{Change(0.4f, false, kGuidOther)});
    EXPECT_TRUE(copy.m_changes.empty() && target.m_changes.empty());
    delete pOwner;
    EXPECT_EQ(m_service.Registrations(), std::vector<int>());
    EXPECT_TRUE(target.SetVolume(0.6f, true) && Level(iLineOut) == 0.6f);

    ASSERT_TRUE(copy.Initialize(eFindDefault, nullptr) && copy.Initialize(eFindByName, "line out"));
    EXPECT_EQ(m_service.Registrations(), std::vector<int>{iLineOut});
    EXPECT_EQ(m_service.Live("IAudioEndpointVolume"), 3);
    m_service.ChangeAsOther(iLineOut, 0.7f, false, kGuidOther);
    m_service.Flush();
    EXPECT_EQ(copy.m_changes, std::vector<Change>{Change(0.7f, false, kGuidOther)});
    EXPECT_TRUE(target.m_changes.empty());
}

}
