#pragma once

#include <windows.h>

#include "Quillon.h"

// The object behind a QUILLON_HANDLE of the C interface: a CQuillon of the library's own whose
// OnVolumeChanged calls the host's function with its context. Deliveries come one at a time;
// the function and its context are swapped as one, and one that was swapped out is freed only
// once no delivery can still be reading it.
class CQuillonHandle final : public CQuillon
{
public:
    CQuillonHandle() = default;
    // Stops the notifications (as ~CQuillon would, but while the function is still here).
    ~CQuillonHandle() override;

    // See Quillon_SetChangeCallback.
    [[nodiscard]] HRESULT SetChangeCallback(QUILLON_CHANGE_CALLBACK pfnChanged, void* pvContext);
    // Touches nothing of this object after the host's function is called: it may destroy the
    // handle.
    void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext) override;

private:
    struct CChangeCallback
    {
        QUILLON_CHANGE_CALLBACK pfnChanged;
        void* pvContext;
        CChangeCallback* pNextRetired;
    };

    CQuillonHandle(const CQuillonHandle&) = delete;
    CQuillonHandle& operator=(const CQuillonHandle&) = delete;

    void FreeRetired();

    CChangeCallback* volatile m_pCallback = nullptr;
    // Swapped out inside another handle's delivery, where this one's may be running elsewhere.
    CChangeCallback* volatile m_pRetired = nullptr;
};
