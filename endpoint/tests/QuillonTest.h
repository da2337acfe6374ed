#pragma once

// What the Quillon tests share: a fixture with the simulated audio service and its default
// endpoint, and a host object that records what it hears.
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

struct QuillonTest : testing::Test
{
    float Level(int iEndpoint) { return m_service.Endpoint(iEndpoint).fScalar; }

    CSimAudioService m_service;
    const int m_iDefault = m_service.AddEndpoint(L"{0.0.0.00000000}.{default}", L"Speakers (Default)");
};

// Polls until the condition holds or dwMs have passed; whether it held.
template <class F> bool WaitUntil(F condition, DWORD dwMs = 5000)
{
    for (const ULONGLONG ullEnd = GetTickCount64() + dwMs; !condition() && GetTickCount64() < ullEnd;)
        Sleep(1);
    return condition();
}
