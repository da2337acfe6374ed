#pragma once

// What the Quillon tests against the simulated audio service share: a listener, the fixture,
// and helpers for threads and apartments.
#include <gtest/gtest.h>

#include "CSimAudioService.h"
#include "Quillon.h"

#include <functional>
#include <thread>
#include <vector>

const GUID kGuidOther = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// A host object that records the changes it is told of; read them after the service's Flush,
// or once m_cChanges (counted after each record) shows them.
class CListener : public CQuillon
{
public:
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override
    {
        m_changes.push_back(AUDIO_VOLUME_NOTIFICATION_DATA{guidEventContext, bMuted, fMasterVolume, 0, {}});
        InterlockedIncrement(&m_cChanges);
    }
    std::vector<AUDIO_VOLUME_NOTIFICATION_DATA> m_changes;
    volatile LONG m_cChanges = 0;
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
    // Without a volume control every operation fails and Test makes no platform call.
    void ExpectOperations(CQuillon& quillon, bool bWork)
    {
        int cReads = m_service.Calls(eSimGetScalar);
        float fLevel = 0.0f;
        bool bMuted = false;
        EXPECT_EQ(quillon.SetVolume(0.75f, true), bWork);
        EXPECT_EQ(quillon.GetVolume(&fLevel, false), bWork);
        EXPECT_EQ(quillon.SetMute(false), bWork);
        EXPECT_EQ(quillon.GetMute(&bMuted), bWork);
        for (int nMode = 1; nMode <= 3; ++nMode)
            quillon.Test(nMode);
        EXPECT_EQ(m_service.Calls(eSimGetScalar), cReads + (bWork ? 3 : 0));
    }
    float Level(int iEndpoint) { return m_service.Endpoint(iEndpoint).fScalar; }
    GUID LastContext(int iEndpoint) { return m_service.Endpoint(iEndpoint).guidLastContext; }

    CSimAudioService m_service;
    int m_iDefault = m_service.AddEndpoint(L"{0.0.0.00000000}.{default}", L"Speakers (Default)");
};

// The calling thread's own apartment: APTTYPE_STA (the main one too), APTTYPE_MTA, or -1 when
// it has no COM of its own (such a thread reports the implicit MTA while another is in the MTA).
inline int Apartment()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    if (FAILED(CoGetApartmentType(&type, &qualifier)) || qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA)
        return -1;
    return type == APTTYPE_MAINSTA ? APTTYPE_STA : type;
}

// Runs a function on a new thread (outside COM) and waits for it.
inline void RunOnThread(const std::function<void()>& function)
{
    std::thread(function).join();
}

// Polls until the condition holds or dwMs have passed; whether it held.
template <class F> bool WaitUntil(F condition, DWORD dwMs = 5000)
{
    for (ULONGLONG ullEnd = GetTickCount64() + dwMs; !condition(); Sleep(1)) {
        if (GetTickCount64() > ullEnd)
            return false;
    }
    return true;
}
