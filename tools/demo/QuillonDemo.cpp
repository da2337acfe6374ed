// The demo's Quillon step. First the platform's own default render endpoint: open it, print
// its volume and mute state. Then a simulated audio service stands in for the platform, so
// that the change notification can be shown (the platform here never sends one): the host's
// own changes do not come back to it, and a change by another program arrives in
// OnVolumeChanged. One line each; exit code 0 when everything behaved.
#include <Quillon.h>

#include <stdio.h>

#include "CDemoListener.h"
#include "CSimAudioService.h"

namespace
{
// The event context of "another program": any GUID but the listener's own.
const GUID kGuidOtherProgram = {0x5EC0DA11, 0x0B5E, 0x4E11, {0x9A, 0x3C, 0x0D, 0xE1, 0x10, 0x0A, 0x7E, 0x42}};

int Fail(const char* pszWhat)
{
    printf("quillon: FAILED: %s\n", pszWhat);
    return 1;
}

int ShowPlatformEndpoint()
{
    CQuillon volume;
    if (!volume.Initialize(eFindDefault, nullptr))
        return Fail("opening the platform's default render endpoint");
    float fScalar = 0.0f;
    float fDb = 0.0f;
    bool bMuted = false;
    if (!volume.GetVolume(&fScalar, true) || !volume.GetVolume(&fDb, false) || !volume.GetMute(&bMuted))
        return Fail("reading the platform endpoint's volume and mute state");
    printf("quillon: platform default endpoint: volume %.2f (%.1f dB), %s\n", static_cast<double>(fScalar),
           static_cast<double>(fDb), bMuted ? "muted" : "not muted");
    return 0;
}

int ShowChangeNotification()
{
    CSimAudioService service;
    const int iEndpoint = service.AddEndpoint(L"{0.0.0.00000000}.{demo-speakers}", L"Demo speakers");
    CDemoListener listener;
    if (!listener.Initialize(eFindDefault, nullptr))
        return Fail("opening the simulated service's default endpoint");

    if (!listener.SetVolume(0.30f, true) || !listener.SetMute(true) || !listener.SetMute(false))
        return Fail("changing the simulated endpoint's volume and mute state");
    service.Flush();
    if (!listener.Changes().empty())
        return Fail("the host's own changes came back to it through OnVolumeChanged");
    printf("quillon: simulated service: own changes (volume 0.30, mute, unmute) made, none came back\n");

    service.ChangeAsOther(iEndpoint, 0.80f, false, kGuidOtherProgram);
    service.Flush();
    const std::vector<CDemoListener::Change> changes = listener.Changes();
    if (changes.size() != 1 || changes[0].fMasterVolume != 0.80f || changes[0].bMuted ||
        changes[0].guidEventContext != kGuidOtherProgram)
        return Fail("another program's change did not arrive in OnVolumeChanged as made");
    printf("quillon: simulated service: another program set volume 0.80; OnVolumeChanged(%.2f, %s, its "
           "context) arrived\n",
           static_cast<double>(changes[0].fMasterVolume), changes[0].bMuted ? "muted" : "not muted");
    return 0;
}
}

int main()
{
    const int nExitCode = ShowPlatformEndpoint();
    return ShowChangeNotification() != 0 ? 1 : nExitCode;
}
