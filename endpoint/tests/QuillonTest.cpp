#include <gtest/gtest.h>

#include "CSimAudioService.h"
#include "Quillon.h"

#include <atomic>
#include <string>
#include <thread>

namespace {

const GUID kGuidOther = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

struct Change
{
    float fMasterVolume;
    bool bMuted;
    GUID guidEventContext;
};

// A host object that records every change it is told of.
class CListener : public CQuillon
{
public:
    CListener() = default;
    CListener(const CListener& source) : CQuillon(source) {}
    CListener& operator=(const CListener& source)
    {
        CQuillon::operator=(source);
        return *this;
    }
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_changes.push_back(Change{fMasterVolume, bMuted, guidEventContext});
    }
    std::vector<Change> Changes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_changes;
    }

private:
    std::mutex m_mutex;
    std::vector<Change> m_changes;
};

class QuillonTest : public testing::Test
{
protected:
    // The endpoint whose registration shows which one an object opened, or -1.
    int RegisteredEndpoint()
    {
        for (int i = 0; i < m_service.EndpointCount(); ++i) {
            if (!m_service.Endpoint(i).callbacks.empty())
                return i;
        }
        return -1;
    }
    int OpenByName(const char* pszName)
    {
        CQuillon quillon;
        return quillon.Initialize(eFindByName, pszName) ? RegisteredEndpoint() : -1;
    }
    float Level(int iEndpoint) { return m_service.Endpoint(iEndpoint).fScalar; }

    CSimAudioService m_service;
    int m_iDefault = m_service.AddEndpoint(L"{0.0.0.00000000}.{default}", L"Speakers (Default)");
};

TEST_F(QuillonTest, DefaultEndpointOpensWithoutReadingTheName)
{
    m_service.AddEndpoint(L"Line Out");
    const char* pszUnreadable = reinterpret_cast<const char*>(1);
    for (int nMode : {0, 7}) {
        CQuillon quillon;
        EXPECT_TRUE(quillon.Initialize(static_cast<eFindDevice>(nMode), pszUnreadable));
        EXPECT_EQ(RegisteredEndpoint(), m_iDefault);
    }
    EXPECT_EQ(m_service.Calls(eSimEnumEndpoints), 0);
}

TEST_F(QuillonTest, SetsAndReadsVolumeAndMuteWithoutHearingItself)
{
    CListener listener;
    ASSERT_TRUE(listener.Initialize(eFindDefault, nullptr));
    EXPECT_TRUE(listener.SetVolume(0.25f, true));
    EXPECT_EQ(Level(m_iDefault), 0.25f);
    GUID guidOwn = m_service.LastEventContext();
    EXPECT_NE(guidOwn, GUID_NULL);

    EXPECT_TRUE(listener.SetVolume(-6.0f, false));
    EXPECT_EQ(m_service.Endpoint(m_iDefault).fDb, -6.0f);
    float fLevel = 0.0f;
    EXPECT_TRUE(listener.GetVolume(&fLevel, false));
    EXPECT_EQ(fLevel, -6.0f);
    EXPECT_TRUE(listener.GetVolume(&fLevel, true));
    EXPECT_EQ(fLevel, Level(m_iDefault));

    bool bMuted = false;
    EXPECT_TRUE(listener.SetMute(true));
    EXPECT_TRUE(listener.GetMute(&bMuted));
    EXPECT_TRUE(bMuted);
    EXPECT_TRUE(listener.SetMute(false));
    EXPECT_FALSE(m_service.Endpoint(m_iDefault).bMuted);
    EXPECT_EQ(m_service.LastEventContext(), guidOwn);
    m_service.Flush();
    EXPECT_TRUE(listener.Changes().empty());
}

TEST_F(QuillonTest, ResultIsTrueExactlyForSuccessCodes)
{
    CQuillon quillon;
    ASSERT_TRUE(quillon.Initialize(eFindDefault, nullptr));
    m_service.Force(eSimSetMute, S_FALSE, 1);
    EXPECT_TRUE(quillon.SetMute(true));
    m_service.Force(eSimSetMute, E_FAIL, 1);
    EXPECT_FALSE(quillon.SetMute(false));
    EXPECT_TRUE(m_service.Endpoint(m_iDefault).bMuted);
    for (bool bBefore : {false, true}) {
        bool bMuted = bBefore;
        m_service.Force(eSimGetMute, E_FAIL, 1);
        EXPECT_FALSE(quillon.GetMute(&bMuted));
        EXPECT_EQ(bMuted, bBefore);
    }
    // Levels are not checked by the library; the platform refuses those out of range.
    EXPECT_FALSE(quillon.SetVolume(1.5f, true));
    EXPECT_FALSE(quillon.SetVolume(6.0f, false));
    m_service.Force(eSimGetScalar, E_FAIL, 1);
    float fLevel = 0.0f;
    EXPECT_FALSE(quillon.GetVolume(&fLevel, true));
    EXPECT_FALSE(quillon.GetVolume(nullptr, true));
    EXPECT_FALSE(quillon.GetMute(nullptr));
}

TEST_F(QuillonTest, OperationsWithoutVolumeControlReturnFalse)
{
    CQuillon unopened;
    CQuillon failed;
    m_service.Force(eSimActivate, E_FAIL);
    EXPECT_FALSE(failed.Initialize(eFindDefault, nullptr));
    for (CQuillon* pQuillon : {&unopened, &failed}) {
        float fLevel = 0.5f;
        bool bMuted = true;
        EXPECT_FALSE(pQuillon->SetMute(false));
        EXPECT_FALSE(pQuillon->GetMute(&bMuted));
        EXPECT_FALSE(pQuillon->SetVolume(0.1f, true));
        EXPECT_FALSE(pQuillon->GetVolume(&fLevel, false));
        for (int nMode = 1; nMode <= 3; ++nMode)
            pQuillon->Test(nMode);
        EXPECT_EQ(fLevel, 0.5f);
        EXPECT_TRUE(bMuted);
    }
    EXPECT_EQ(m_service.Calls(eSimGetScalar), 0);
}

// Each failing step (or a search without a match) leaves held what was acquired before it,
// until the next Initialize; a single failure for one endpoint ends a name search although a
// later endpoint matches.
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
        SCOPED_TRACE(testing::Message() << "failing call " << row.call << ", name " << (row.pszName ? row.pszName : "null"));
        {
            CQuillon quillon;
            if (row.call != eNone)
                m_service.Force(row.call, E_FAIL, 1);
            EXPECT_FALSE(quillon.Initialize(row.eFind, row.pszName));
            EXPECT_EQ(m_service.Live(eSimEnumerator), row.cEnumerators);
            EXPECT_EQ(m_service.Live(eSimDevice), row.cDevices);
            EXPECT_EQ(m_service.Live(eSimVolume), row.cVolumes);
            EXPECT_EQ(m_service.Live(), row.cEnumerators + row.cDevices + row.cVolumes);
            EXPECT_EQ(RegisteredEndpoint(), -1);
            EXPECT_EQ(quillon.SetVolume(0.75f, true), row.cVolumes == 1);

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

    EXPECT_EQ(OpenByName("lINE oUT"), iLineOut);
    EXPECT_EQ(OpenByName("\xC9" "cho"), iEcho);
    EXPECT_EQ(OpenByName("\xE9" "cho"), -1);
    EXPECT_EQ(OpenByName("\x10x"), iCyrillic);
    EXPECT_EQ(OpenByName(std::string(255, 'a').c_str()), iLong);
    EXPECT_EQ(OpenByName(std::string(256, 'a').c_str()), -1);
    EXPECT_EQ(OpenByName(std::string(300, 'A').c_str()), -1);
    EXPECT_EQ(OpenByName("TWIN"), iTwin);
    EXPECT_EQ(m_service.Live(), 0);
}

TEST_F(QuillonTest, TestStepsScalarLevelInSinglePrecision)
{
    struct Row
    {
        float fStart;
        int nMode;
        float fSet;
    };
    const Row rows[] = {
        {0.5f, 1, 0.51f}, {0.99f, 1, 1.0f}, {0.995f, 1, 1.0f}, {1.0f, 1, 1.0f},
        {0.5f, 2, 0.49f}, {0.01f, 2, 0.0f}, {0.005f, 2, 0.0f}, {0.0f, 2, 0.0f},
    };
    CListener listener;
    ASSERT_TRUE(listener.Initialize(eFindDefault, nullptr));
    for (const Row& row : rows) {
        listener.SetVolume(row.fStart, true);
        listener.Test(row.nMode);
        EXPECT_EQ(Level(m_iDefault), row.fSet) << row.fStart << " mode " << row.nMode;
    }
    // Other modes make no call, mode 3 only reads, and a failed read sets nothing.
    int cReads = m_service.Calls(eSimGetScalar);
    int cSets = m_service.Calls(eSimSetScalar);
    for (int nMode : {0, 4, -1})
        listener.Test(nMode);
    EXPECT_EQ(m_service.Calls(eSimGetScalar), cReads);
    listener.Test(3);
    m_service.Force(eSimGetScalar, E_FAIL, 1);
    listener.Test(1);
    EXPECT_EQ(m_service.Calls(eSimGetScalar), cReads + 2);
    EXPECT_EQ(m_service.Calls(eSimSetScalar), cSets);
    m_service.Flush();
    EXPECT_TRUE(listener.Changes().empty());
}

// Each object hears the other's changes and other programs' ones once, with the changer's
// context, and never its own.
TEST_F(QuillonTest, ObjectsHearOthersChangesOnceWithTheirContext)
{
    CListener first;
    CListener second;
    ASSERT_TRUE(first.Initialize(eFindDefault, nullptr));
    ASSERT_TRUE(second.Initialize(eFindDefault, nullptr));
    ASSERT_TRUE(first.SetVolume(0.2f, true));
    GUID guidFirst = m_service.LastEventContext();
    ASSERT_TRUE(second.SetMute(true));
    GUID guidSecond = m_service.LastEventContext();
    EXPECT_NE(guidFirst, guidSecond);
    m_service.ChangeAsOther(m_iDefault, 0.3f, false, kGuidOther);
    m_service.ChangeAsOther(m_iDefault, 0.7f, true, GUID_NULL);
    m_service.Flush();

    for (CListener* pListener : {&first, &second}) {
        std::vector<Change> changes = pListener->Changes();
        ASSERT_EQ(changes.size(), 3u);
        if (pListener == &first) {
            EXPECT_TRUE(changes[0].bMuted);
            EXPECT_EQ(changes[0].guidEventContext, guidSecond);
        } else {
            EXPECT_EQ(changes[0].fMasterVolume, 0.2f);
            EXPECT_EQ(changes[0].guidEventContext, guidFirst);
        }
        EXPECT_EQ(changes[1].fMasterVolume, 0.3f);
        EXPECT_FALSE(changes[1].bMuted);
        EXPECT_EQ(changes[1].guidEventContext, kGuidOther);
        EXPECT_EQ(changes[2].fMasterVolume, 0.7f);
        EXPECT_TRUE(changes[2].bMuted);
        EXPECT_EQ(changes[2].guidEventContext, GUID_NULL);
    }
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
    GUID guidFirst = m_service.LastEventContext();

    ASSERT_TRUE(listener.Initialize(eFindDefault, nullptr));
    EXPECT_EQ(RegisteredEndpoint(), m_iDefault);
    EXPECT_EQ(m_service.Endpoint(m_iDefault).callbacks.size(), 1u);
    EXPECT_EQ(m_service.Live(), 3);
    ASSERT_TRUE(listener.SetMute(true));
    EXPECT_NE(m_service.LastEventContext(), guidFirst);

    m_service.ChangeAsOther(iLineOut, 0.1f, false, kGuidOther);
    m_service.ChangeAsOther(m_iDefault, 0.9f, false, kGuidOther);
    m_service.Flush();
    ASSERT_EQ(listener.Changes().size(), 1u);
    EXPECT_EQ(listener.Changes()[0].fMasterVolume, 0.9f);
}

// Copies share the endpoint; only the object that made the implementation is told of
// changes, until it is destroyed; the last object using the endpoint releases it.
TEST_F(QuillonTest, CopiesShareTheEndpointUntilTheLastGoes)
{
    CListener* pOwner = new CListener;
    ASSERT_TRUE(pOwner->Initialize(eFindDefault, nullptr));
    {
        CListener copy(*pOwner);
        EXPECT_TRUE(copy.SetVolume(0.3f, true));
        EXPECT_EQ(Level(m_iDefault), 0.3f);
        m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
        m_service.Flush();
        EXPECT_EQ(pOwner->Changes().size(), 1u);
        EXPECT_TRUE(copy.Changes().empty());
    }
    EXPECT_EQ(m_service.Live(), 3);

    CListener survivor(*pOwner);
    delete pOwner;
    EXPECT_EQ(RegisteredEndpoint(), -1);
    EXPECT_EQ(m_service.Live(), 3);
    EXPECT_TRUE(survivor.SetVolume(0.6f, true));
    m_service.ChangeAsOther(m_iDefault, 0.8f, false, kGuidOther);
    m_service.Flush();
    EXPECT_TRUE(survivor.Changes().empty());
    survivor = survivor;
    EXPECT_TRUE(survivor.SetVolume(0.6f, true));
}

TEST_F(QuillonTest, AssignmentStopsTheTargetsNotifications)
{
    int iLineOut = m_service.AddEndpoint(L"Line Out");
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
    EXPECT_TRUE(target.Changes().empty());
    EXPECT_EQ(source.Changes().size(), 1u);
}

// Holds the notification thread inside OnVolumeChanged until released, and records whether
// its memory was freed while it was still there.
std::atomic<bool> g_bInsideDelivery(false);
std::atomic<bool> g_bFreedDuringDelivery(false);

class CSlowListener : public CQuillon
{
public:
    CSlowListener(HANDLE hEntered, HANDLE hProceed) : m_hEntered(hEntered), m_hProceed(hProceed) {}
    void OnVolumeChanged(float, bool, GUID) override
    {
        g_bInsideDelivery = true;
        SetEvent(m_hEntered);
        WaitForSingleObject(m_hProceed, INFINITE);
        g_bInsideDelivery = false;
    }
    static void operator delete(void* pv)
    {
        if (g_bInsideDelivery)
            g_bFreedDuringDelivery = true;
        ::operator delete(pv);
    }

private:
    HANDLE m_hEntered;
    HANDLE m_hProceed;
};

TEST_F(QuillonTest, DestructionWaitsForADeliveryInProgress)
{
    HANDLE hEntered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hProceed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CSlowListener* pListener = new CSlowListener(hEntered, hProceed);
    ASSERT_TRUE(pListener->Initialize(eFindDefault, nullptr));
    m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
    ASSERT_EQ(WaitForSingleObject(hEntered, INFINITE), WAIT_OBJECT_0);

    std::thread destroyer([pListener] { delete pListener; });
    // Gives a destruction that does not wait time to free the object under the delivery.
    Sleep(200);
    SetEvent(hProceed);
    destroyer.join();
    m_service.Flush();
    EXPECT_FALSE(g_bFreedDuringDelivery);
    EXPECT_EQ(m_service.Live(), 0);
    CloseHandle(hEntered);
    CloseHandle(hProceed);
}

class CSelfDestroyingListener : public CQuillon
{
public:
    void OnVolumeChanged(float, bool, GUID) override { delete this; }
};

TEST_F(QuillonTest, DestructionInsideOwnDeliveryDoesNotDeadlock)
{
    CSelfDestroyingListener* pListener = new CSelfDestroyingListener;
    ASSERT_TRUE(pListener->Initialize(eFindDefault, nullptr));
    m_service.ChangeAsOther(m_iDefault, 0.4f, false, kGuidOther);
    m_service.Flush();
    EXPECT_EQ(RegisteredEndpoint(), -1);
    EXPECT_EQ(m_service.Live(), 0);
}

}
