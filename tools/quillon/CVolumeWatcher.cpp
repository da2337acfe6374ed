#include "CVolumeWatcher.h"

#include <stdio.h>

void CVolumeWatcher::OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext)
{
    const GUID& g = guidEventContext;
    printf("volume %.2f, %s (changed by {%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X})\n",
           static_cast<double>(fMasterVolume), bMuted ? "muted" : "not muted", static_cast<unsigned long>(g.Data1),
           g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
           g.Data4[7]);
    fflush(stdout);
}
