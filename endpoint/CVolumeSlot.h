#pragma once

#include <windows.h>
#include <endpointvolume.h>

#include "QuillonC.h"

// The volume control that the host's calls reach, which a move to a new endpoint replaces while
// those calls go on, on any thread (inside OnVolumeChanged too). A call never waits and never
// releases the control: it is counted in one of two reader counts while it uses it. A
// replacement sends later calls to the other count and then waits, on its own thread, until the
// first count is empty before it hands the old control back for release.
class CVolumeSlot
{
public:
    CVolumeSlot() = default;
    ~CVolumeSlot();
    CVolumeSlot(const CVolumeSlot&) = delete;
    CVolumeSlot& operator=(const CVolumeSlot&) = delete;

    // action(control)'s result, or QUILLON_E_NOT_INITIALIZED without a control.
    template <class F> HRESULT Use(F action)
    {
        const LONG iReaders = Enter();
        IAudioEndpointVolume* pVolume = static_cast<IAudioEndpointVolume*>(
            InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pVolume), nullptr, nullptr));
        const HRESULT hr = pVolume ? action(pVolume) : QUILLON_E_NOT_INITIALIZED;
        InterlockedDecrement(&m_rgcReaders[iReaders]);
        return hr;
    }

    // Puts pVolume (a reference handed over, or null) in place and returns the previous control
    // (a reference for the caller, or null) once no call uses it any more. One at a time.
    [[nodiscard]] IAudioEndpointVolume* Swap(IAudioEndpointVolume* pVolume);

private:
    // Joins the reader count that new calls go to; returns its index.
    LONG Enter();

    IAudioEndpointVolume* volatile m_pVolume = nullptr;
    LONG m_rgcReaders[2] = {};
    LONG m_iReaders = 0;
};
