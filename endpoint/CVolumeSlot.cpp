#include "CVolumeSlot.h"

CVolumeSlot::~CVolumeSlot()
{
    if (m_pVolume)
        m_pVolume->Release();
}

// A call that finds the count switched under it leaves it and joins the other one, so that the
// count it stays in is the one a replacement will wait for.
LONG CVolumeSlot::Enter()
{
    for (;;) {
        const LONG iReaders = InterlockedCompareExchange(&m_iReaders, 0, 0);
        InterlockedIncrement(&m_rgcReaders[iReaders]);
        if (InterlockedCompareExchange(&m_iReaders, 0, 0) == iReaders)
            return iReaders;
        InterlockedDecrement(&m_rgcReaders[iReaders]);
    }
}

// The control is replaced before the calls are switched: a call counted after the switch can
// only see the new one, so once the old count is empty no call holds the old control.
IAudioEndpointVolume* CVolumeSlot::Swap(IAudioEndpointVolume* pVolume)
{
    IAudioEndpointVolume* pOld = static_cast<IAudioEndpointVolume*>(
        InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pVolume), pVolume));
    const LONG iOld = InterlockedCompareExchange(&m_iReaders, 0, 0);
    InterlockedExchange(&m_iReaders, 1 - iOld);
    while (InterlockedCompareExchange(&m_rgcReaders[iOld], 0, 0) != 0)
        Sleep(1);
    return pOld;
}
