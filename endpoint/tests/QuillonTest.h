#pragma once

// What the Quillon tests share: a fixture with the simulated audio service and its default
// endpoint, a host object that records what it hears, and helpers for threads and apartments.
#include <gtest/gtest.h>

#include <tuple>

#include "CSimAudioService.h"
#include "Quillon.h"

const GUID kGuidOther = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// A change as OnVolumeChanged hears it: level, mute state, changer's context.
typedef std::tuple<float, bool, GUID> Change;

// Read m_changes after the service's Flush, or once m_cChanges (counted after each) shows them.
struct CListener : CQuillon
{
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override
    {
        m_changes.emplace_back(fMasterVolume, bMuted, guidEventContext);
        InterlockedIncrement(&m_cChanges);
    }
    std::vector<Change> m_changes;
    volatile LONG m_cChanges = 0;
};

class QuillonTest : public testing::Test
{
protected:
    float Level(int iEndpoint) { return m_service.Endpoint(iEndpoint).fScalar; }
    GUID LastContext(int iEndpoint) { return m_service.Endpoint(iEndpoint).guidLastContext; }

    CSimAudioService m_service;
    const int m_iDefault = m_service.AddEndpoint(L"{0.0.0.00000000}.{default}", L"Speakers (Default)");
};

// The calling thread's own apartment: APTTYPE_STA (the main one too) or APTTYPE_MTA, or -1 when
// it is outside COM (such a thread reports the implicit MTA while another is in the MTA).
inline int Apartment()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    if (FAILED(CoGetApartmentType(&type, &qualifier)) || qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA)
        return -1;
    return type == APTTYPE_MAINSTA ? APTTYPE_STA : type;
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
