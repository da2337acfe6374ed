/* A host in C, built as a user builds one: only the delivered QuillonC.h and the import library,
   against the Wine session's own audio service (which the simulated one stands in for elsewhere).
   CHostAsCxx.cpp compiles the same source as C++. Exits 0 when the list holds the default
   endpoint with a key and a name, that key opens it (and no other text does), and a handle made
   with functions found by name, as a foreign-function interface finds them, follows the default
   endpoint from a thread outside COM, which it leaves outside COM. */
#include <QuillonC.h>
#include <objbase.h>

#include <stdio.h>
#include <string.h>

typedef HRESULT(QUILLON_CALL* PFN_INITIALIZE)(QUILLON_HANDLE);
typedef HRESULT(QUILLON_CALL* PFN_GETVOLUMEDB)(QUILLON_HANDLE, float*);

static DWORD WINAPI FollowOutsideCom(void* pvHandle)
{
    HMODULE hQuillon = GetModuleHandleA("Quillon.dll");
    PFN_INITIALIZE pfnFollow =
        (PFN_INITIALIZE)(void (*)(void))GetProcAddress(hQuillon, "Quillon_InitializeFollowingDefault");
    PFN_GETVOLUMEDB pfnGetVolumeDb = (PFN_GETVOLUMEDB)(void (*)(void))GetProcAddress(hQuillon, "Quillon_GetVolumeDb");
    float fDb = 1.0f;
    HRESULT hr;
    if (!pfnFollow || !pfnGetVolumeDb || FAILED(pfnFollow((QUILLON_HANDLE)pvHandle)) ||
        FAILED(pfnGetVolumeDb((QUILLON_HANDLE)pvHandle, &fDb)))
        return 3;
    printf("following the default endpoint, at %.1f dB\n", (double)fDb);
    /* S_OK only on a thread outside COM. */
    hr = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr == S_OK ? 0 : 4;
}

int main(void)
{
    QUILLON_ENDPOINT_LIST* pList = NULL;
    QUILLON_ENDPOINT endpoint;
    QUILLON_HANDLE hVolume = NULL;
    UINT32 iEndpoint = 0;
    char szKey[256] = "";
    BOOL bMuted = FALSE;
    DWORD dwExitCode = 5;
    HANDLE hThread;

    if (Quillon_GetDllVersion() != 1001 || FAILED(Quillon_ListEndpoints(&pList)))
        return 1;
    while (SUCCEEDED(Quillon_GetEndpoint(pList, iEndpoint++, &endpoint)) && !endpoint.bDefault) {
    }
    if (endpoint.bDefault && endpoint.pszName[0] != '\0' && strlen(endpoint.pszKey) < sizeof szKey - 1)
        strcpy(szKey, endpoint.pszKey);
    printf("default endpoint: %s, key %s\n", endpoint.bDefault ? endpoint.pszName : "none", szKey);
    Quillon_FreeEndpointList(pList);
    if (szKey[0] == '\0' || FAILED(Quillon_Create(&hVolume)) || FAILED(Quillon_InitializeByKey(hVolume, szKey)) ||
        FAILED(Quillon_GetMute(hVolume, &bMuted)) || FAILED(Quillon_SetMute(hVolume, bMuted)))
        return 2;
    strcat(szKey, "?");
    if (Quillon_InitializeByKey(hVolume, szKey) != QUILLON_E_NOT_FOUND)
        return 2;
    hThread = CreateThread(NULL, 0, FollowOutsideCom, hVolume, 0, NULL);
    if (hThread && WaitForSingleObject(hThread, INFINITE) == WAIT_OBJECT_0)
        GetExitCodeThread(hThread, &dwExitCode);
    if (hThread)
        CloseHandle(hThread);
    Quillon_Destroy(hVolume);
    return (int)dwExitCode;
}
