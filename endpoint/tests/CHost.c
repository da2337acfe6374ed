/* A host in C, built as a user builds one: only the delivered QuillonC.h and the import library,
   against the platform's default endpoint. It also finds functions by name, as a
   foreign-function interface does. CHostAsCxx.cpp compiles the same source as C++. Exits 0 when
   the list holds the default endpoint, its key opens it, and a handle found by name follows
   the default endpoint and reads it. */
#include <QuillonC.h>

#include <stdio.h>

typedef HRESULT(QUILLON_CALL* PFN_CREATE)(QUILLON_HANDLE*);
typedef HRESULT(QUILLON_CALL* PFN_INITIALIZE)(QUILLON_HANDLE);
typedef HRESULT(QUILLON_CALL* PFN_GETVOLUMEDB)(QUILLON_HANDLE, float*);
typedef void(QUILLON_CALL* PFN_DESTROY)(QUILLON_HANDLE);

static void QUILLON_CALL OnChanged(void* pvContext, float fMasterVolume, BOOL bMuted, const GUID* pguidEventContext)
{
    (void)fMasterVolume;
    (void)bMuted;
    (void)pguidEventContext;
    ++*(int*)pvContext;
}

/* The default endpoint's key, read from the list into szKey; 0 when there is none. */
static int FindDefaultKey(char* pszKey, size_t cchKey)
{
    QUILLON_ENDPOINT_LIST* pList = NULL;
    QUILLON_ENDPOINT endpoint;
    UINT32 iEndpoint;
    int bFound = 0;
    if (FAILED(Quillon_ListEndpoints(&pList)))
        return 0;
    for (iEndpoint = 0; !bFound && SUCCEEDED(Quillon_GetEndpoint(pList, iEndpoint, &endpoint)); ++iEndpoint) {
        if (endpoint.bDefault) {
            printf("default endpoint: %s, key %s\n", endpoint.pszName, endpoint.pszKey);
            bFound = snprintf(pszKey, cchKey, "%s", endpoint.pszKey) > 0;
        }
    }
    Quillon_FreeEndpointList(pList);
    return bFound;
}

int main(void)
{
    HMODULE hQuillon = GetModuleHandleA("Quillon.dll");
    PFN_CREATE pfnCreate = (PFN_CREATE)(void (*)(void))GetProcAddress(hQuillon, "Quillon_Create");
    PFN_INITIALIZE pfnFollow =
        (PFN_INITIALIZE)(void (*)(void))GetProcAddress(hQuillon, "Quillon_InitializeFollowingDefault");
    PFN_GETVOLUMEDB pfnGetVolumeDb = (PFN_GETVOLUMEDB)(void (*)(void))GetProcAddress(hQuillon, "Quillon_GetVolumeDb");
    PFN_DESTROY pfnDestroy = (PFN_DESTROY)(void (*)(void))GetProcAddress(hQuillon, "Quillon_Destroy");
    QUILLON_HANDLE hVolume = NULL;
    char szKey[256];
    int cChanges = 0;
    float fDb = 0.0f;
    BOOL bMuted = FALSE;

    if (Quillon_GetDllVersion() != 1001 || !FindDefaultKey(szKey, sizeof szKey))
        return 1;
    if (FAILED(Quillon_Create(&hVolume)) || FAILED(Quillon_SetChangeCallback(hVolume, OnChanged, &cChanges)) ||
        FAILED(Quillon_InitializeByKey(hVolume, szKey)) || FAILED(Quillon_GetMute(hVolume, &bMuted)) ||
        FAILED(Quillon_SetMute(hVolume, bMuted)))
        return 2;
    Quillon_Destroy(hVolume);

    if (!pfnCreate || !pfnFollow || !pfnGetVolumeDb || !pfnDestroy || FAILED(pfnCreate(&hVolume)) ||
        FAILED(pfnFollow(hVolume)) || FAILED(pfnGetVolumeDb(hVolume, &fDb)))
        return 3;
    pfnDestroy(hVolume);
    printf("%.1f dB, %s; %d changes by others heard\n", (double)fDb, bMuted ? "muted" : "not muted", cChanges);
    return 0;
}
