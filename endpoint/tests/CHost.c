/* A host in C, built as a user builds one: only the delivered QuillonC.h and the import library,
   against the Wine session's own audio service. CHostAsCxx.cpp compiles the same source as C++.
   Exits 0 when the list holds the default endpoint with a key and a name, that key opens it, and
   a function found by name, as a foreign-function interface finds it, makes the handle follow the
   default endpoint from a thread outside COM, which it leaves outside COM. */
#include <QuillonC.h>
#include <objbase.h>

#include <stdio.h>

typedef HRESULT(QUILLON_CALL* PFN_INITIALIZE)(QUILLON_HANDLE);

static DWORD WINAPI FollowOutsideCom(void* pvHandle)
{
    PFN_INITIALIZE pfnFollow = (PFN_INITIALIZE)(void (*)(void))GetProcAddress(GetModuleHandleA("Quillon.dll"),
                                                                              "Quillon_InitializeFollowingDefault");
    HRESULT hr = pfnFollow ? pfnFollow((QUILLON_HANDLE)pvHandle) : E_NOINTERFACE;
    /* Entering the multithreaded apartment gives S_OK only on a thread outside COM. */
    if (SUCCEEDED(hr) && SUCCEEDED(hr = CoInitializeEx(NULL, COINIT_MULTITHREADED)))
        CoUninitialize();
    return hr == S_OK ? 0 : 3;
}

int main(void)
{
    QUILLON_ENDPOINT_LIST* pList = NULL;
    QUILLON_ENDPOINT endpoint = {NULL, NULL, NULL, NULL, FALSE};
    QUILLON_HANDLE hVolume = NULL;
    UINT32 iEndpoint = 0;
    float fDb = 0.0f;
    DWORD dwExitCode = 4;
    HANDLE hThread;

    if (FAILED(Quillon_ListEndpoints(&pList)) || FAILED(Quillon_Create(&hVolume)))
        return 1;
    while (SUCCEEDED(Quillon_GetEndpoint(pList, iEndpoint++, &endpoint)) && !endpoint.bDefault) {
    }
    if (!endpoint.bDefault || !endpoint.pszName[0] || FAILED(Quillon_InitializeByKey(hVolume, endpoint.pszKey)) ||
        FAILED(Quillon_GetVolumeDb(hVolume, &fDb)))
        return 2;
    printf("default endpoint: %s, key %s, at %.1f dB\n", endpoint.pszName, endpoint.pszKey, (double)fDb);
    Quillon_FreeEndpointList(pList);
    hThread = CreateThread(NULL, 0, FollowOutsideCom, hVolume, 0, NULL);
    if (hThread && WaitForSingleObject(hThread, INFINITE) == WAIT_OBJECT_0)
        GetExitCodeThread(hThread, &dwExitCode);
    if (hThread)
        CloseHandle(hThread);
    Quillon_Destroy(hVolume);
    return (int)dwExitCode;
}
