// The demo's Quillon step. First the platform's own default render endpoint: open it, print
// its volume and mute state. Then a simulated audio service stands in for the platform, so
// that the change notification can be shown (the platform here never sends one): the host's
// own changes do not come back to it, and a change by another program arrives in
// OnVolumeChanged. Last, on a service with two endpoints, the list of endpoints and a host that
// follows the default endpoint when the user switches it. One line each; exit code 0 when
// everything behaved.
#include <Quillon.h>

#include <stdio.h>

#include <string>

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

// The endpoints as a host lists them: "* " before the default one, its name and key.
std::string ListEndpoints()
{
    QUILLON_ENDPOINT_LIST* pList = nullptr;
    if (FAILED(CQuillon::ListEndpoints(&pList)))
        return std::string();
    std::string strList;
    QUILLON_ENDPOINT endpoint;
    for (UINT32 iEndpoint = 0; SUCCEEDED(Quillon_GetEndpoint(pList, iEndpoint, &endpoint)); ++iEndpoint) {
        strList += std::string(iEndpoint ? "; " : "") + (endpoint.bDefault ? "* " : "") + endpoint.pszName + " (" +
                   endpoint.pszKey + ")";
    }
    Quillon_FreeEndpointList(pList);
    return strList;
}

// The move happens on a thread-pool thread: its report is waited for (5 s at most).
int ShowFollowingTheDefault()
{
    CSimAudioService service;
    service.AddEndpoint(L"{0.0.0.00000000}.{demo-speakers}", L"Demo speakers");
    const int iHeadphones = service.AddEndpoint(L"{0.0.0.00000000}.{demo-headphones}", L"Demo headphones");
    service.ChangeAsOther(iHeadphones, 0.35f, true, kGuidOtherProgram);
    const std::string strBefore = ListEndpoints();
    if (strBefore.empty())
        return Fail("listing the simulated service's endpoints");
    printf("quillon: simulated endpoints: %s\n", strBefore.c_str());

    CDemoListener listener;
    if (!listener.InitializeFollowingDefault())
        return Fail("following the simulated service's default endpoint");
    service.SetDefault(iHeadphones);
    for (int iWait = 0; iWait < 500 && listener.Changes().empty(); ++iWait)
        Sleep(10);
    const std::vector<CDemoListener::Change> changes = listener.Changes();
    if (changes.size() != 1 || changes[0].guidEventContext != QUILLON_CONTEXT_ENDPOINT_MOVED ||
        changes[0].fMasterVolume != 0.35f || !changes[0].bMuted)
        return Fail("the host did not follow the new default endpoint and report its state");
    if (!listener.SetVolume(0.60f, true) || service.Endpoint(iHeadphones).fScalar != 0.60f)
        return Fail("the host's own change did not reach the new default endpoint");
    service.Flush();
    if (listener.Changes().size() != 1)
        return Fail("the host's own change on the new endpoint came back to it");
    printf("quillon: simulated service: default switched to Demo headphones (now %s); the host followed, heard "
           "volume %.2f, %s (endpoint moved), and set 0.60 there unechoed\n",
           ListEndpoints().c_str(), static_cast<double>(changes[0].fMasterVolume),
           changes[0].bMuted ? "muted" : "not muted");
    return 0;
}
}

int main()
{
    const int nExitCode = ShowPlatformEndpoint();
    const int nNotifyExitCode = ShowChangeNotification();
    return ShowFollowingTheDefault() != 0 || nNotifyExitCode != 0 ? 1 : nExitCode;
}
