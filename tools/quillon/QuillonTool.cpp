// quillon: reads and sets the master volume and mute state of an audio render endpoint from
// the command line, through the Quillon library's public header and import library only.
#include <Quillon.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "CScopedHandle.h"
#include "CVolumeWatcher.h"

namespace
{
const int kExitFailed = 1;
const int kExitUsage = 2;

const char kszUsage[] = "usage: quillon [--device NAME] COMMAND\n"
                        "  list           print the active render endpoints, one a line: * for the default one,\n"
                        "                 the device key, a tab and the name\n"
                        "  get            print the master volume (0 to 1, and in dB) and the mute state\n"
                        "  set LEVEL      set the master volume, LEVEL from 0 to 1\n"
                        "  set-db DB      set the master volume in decibels\n"
                        "  mute on|off    mute or unmute\n"
                        "  watch          print changes made by other programs until Ctrl+C\n"
                        "  --device NAME  use the active render endpoint whose device key is NAME (any ASCII case)\n"
                        "                 instead of the default one\n";

HANDLE g_hStopWatching;

int Usage(const char* pszProblem = nullptr)
{
    if (pszProblem)
        fprintf(stderr, "quillon: %s\n", pszProblem);
    fputs(kszUsage, stderr);
    return kExitUsage;
}

int Failed(const std::string& strWhat)
{
    fprintf(stderr, "quillon: %s\n", strWhat.c_str());
    return kExitFailed;
}

// A whole argument as a finite number, or false.
bool ParseNumber(const char* psz, float* pfValue)
{
    char* pszEnd = nullptr;
    const double d = strtod(psz, &pszEnd);
    if (pszEnd == psz || *pszEnd != '\0' || !isfinite(d))
        return false;
    *pfValue = static_cast<float>(d);
    return true;
}

int List()
{
    QUILLON_ENDPOINT_LIST* pList = nullptr;
    const HRESULT hr = CQuillon::ListEndpoints(&pList);
    if (FAILED(hr)) {
        char szError[64];
        snprintf(szError, sizeof szError, "could not list the audio render endpoints (0x%08lX)",
                 static_cast<unsigned long>(hr));
        return Failed(szError);
    }
    QUILLON_ENDPOINT endpoint;
    for (UINT32 iEndpoint = 0; SUCCEEDED(Quillon_GetEndpoint(pList, iEndpoint, &endpoint)); ++iEndpoint)
        printf("%c %s\t%s\n", endpoint.bDefault ? '*' : ' ', endpoint.pszKey, endpoint.pszName);
    Quillon_FreeEndpointList(pList);
    return 0;
}

int Get(CQuillon& volume)
{
    float fScalar = 0.0f;
    float fDb = 0.0f;
    bool bMuted = false;
    if (!volume.GetVolume(&fScalar, true) || !volume.GetVolume(&fDb, false) || !volume.GetMute(&bMuted))
        return Failed("could not read the endpoint's volume and mute state");
    printf("volume %.2f (%.1f dB), %s\n", static_cast<double>(fScalar), static_cast<double>(fDb),
           bMuted ? "muted" : "not muted");
    return 0;
}

int Set(CQuillon& volume, const char* pszLevel)
{
    float fLevel = 0.0f;
    if (!ParseNumber(pszLevel, &fLevel) || fLevel < 0.0f || fLevel > 1.0f)
        return Usage((std::string("set takes a level from 0 to 1, not '") + pszLevel + "'").c_str());
    if (!volume.SetVolume(fLevel, true))
        return Failed("the endpoint refused the volume level " + std::string(pszLevel));
    printf("volume set to %.2f\n", static_cast<double>(fLevel));
    return 0;
}

int SetDb(CQuillon& volume, const char* pszDb)
{
    float fDb = 0.0f;
    if (!ParseNumber(pszDb, &fDb))
        return Usage((std::string("set-db takes a number of decibels, not '") + pszDb + "'").c_str());
    if (!volume.SetVolume(fDb, false))
        return Failed("the endpoint refused " + std::string(pszDb) + " dB (outside its range?)");
    printf("volume set to %.1f dB\n", static_cast<double>(fDb));
    return 0;
}

int Mute(CQuillon& volume, const char* pszState)
{
    const bool bOn = strcmp(pszState, "on") == 0;
    if (!bOn && strcmp(pszState, "off") != 0)
        return Usage((std::string("mute takes on or off, not '") + pszState + "'").c_str());
    if (!volume.SetMute(bOn))
        return Failed(bOn ? "could not mute the endpoint" : "could not unmute the endpoint");
    printf("%s\n", bOn ? "muted" : "unmuted");
    return 0;
}

BOOL WINAPI OnConsoleControl(DWORD)
{
    SetEvent(g_hStopWatching);
    return TRUE;
}

int Watch(CQuillon&, const std::string& strEndpoint)
{
    CScopedHandle stopWatching(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!stopWatching.IsValid())
        return Failed("could not create an event to wait on");
    g_hStopWatching = stopWatching.Get();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    printf("watching %s for changes by other programs; Ctrl+C stops\n", strEndpoint.c_str());
    fflush(stdout);
    WaitForSingleObject(g_hStopWatching, INFINITE);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_hStopWatching = nullptr;
    return 0;
}

int Run(CQuillon& volume, const std::string& strEndpoint, int argc, char** argv)
{
    const std::string strCommand = argv[0];
    if (strCommand == "get" && argc == 1)
        return Get(volume);
    if (strCommand == "set" && argc == 2)
        return Set(volume, argv[1]);
    if (strCommand == "set-db" && argc == 2)
        return SetDb(volume, argv[1]);
    if (strCommand == "mute" && argc == 2)
        return Mute(volume, argv[1]);
    if (strCommand == "watch" && argc == 1)
        return Watch(volume, strEndpoint);
    return Usage(("unknown command or wrong arguments: " + strCommand).c_str());
}

bool IsCommand(const char* psz)
{
    for (const char* pszCommand : {"list", "get", "set", "set-db", "mute", "watch"})
        if (strcmp(psz, pszCommand) == 0)
            return true;
    return false;
}
}

int main(int argc, char** argv)
{
    const char* pszDevice = nullptr;
    int iArg = 1;
    if (iArg + 1 < argc && strcmp(argv[iArg], "--device") == 0) {
        pszDevice = argv[iArg + 1];
        iArg += 2;
    }
    if (iArg >= argc || !IsCommand(argv[iArg]))
        return Usage(iArg < argc ? ("unknown command: " + std::string(argv[iArg])).c_str() : nullptr);
    if (strcmp(argv[iArg], "list") == 0)
        return pszDevice || iArg + 1 < argc ? Usage("list takes no device and no arguments") : List();

    const std::string strEndpoint =
        pszDevice ? "the render endpoint '" + std::string(pszDevice) + "'" : std::string("the default render endpoint");
    CVolumeWatcher volume;
    if (!volume.Initialize(pszDevice ? eFindByName : eFindDefault, pszDevice))
        return Failed(pszDevice ? "no active audio render endpoint has the device key '" + std::string(pszDevice) +
                                      "' (or it could not be opened)"
                                : std::string("could not open the default audio render endpoint"));
    return Run(volume, strEndpoint, argc - iArg, argv + iArg);
}
