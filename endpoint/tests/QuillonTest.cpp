// The class against the simulated service: what a failed Initialize holds, the name search,
// Test's steps, who hears which change, and copies.
#include "QuillonTest.h"

#include <string>

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
    CListener first;
    CListener second;
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
    EXPECT_EQ(m_service.Live(), 9);
    m_service.ChangeAsOther(iLineOut, 0.7f, false, kGuidOther);
    m_service.Flush();
    EXPECT_EQ(copy.m_changes, std::vector<Change>{Change(0.7f, false, kGuidOther)});
    EXPECT_TRUE(target.m_changes.empty());
}

}
