#pragma once

/* Quillon's C interface: the volume control of Quillon.h's CQuillon class through plain C
   functions and an opaque handle, for hosts written in C, built with any C++ compiler, or in a
   language that calls C functions (C#, Python). This header and the import library, or the
   DLL's exports found by name, are all such a host needs.

   Every function uses the C calling convention (__cdecl, spelt QUILLON_CALL; x64 has only one)
   and is exported under its plain name, the same on x86 and x64. Results are HRESULTs: S_OK, or
   why the call failed: E_POINTER (a null handle or required pointer), E_INVALIDARG,
   E_OUTOFMEMORY, QUILLON_E_NOT_INITIALIZED, QUILLON_E_NOT_FOUND, or the platform's own code
   (for instance AUDCLNT_E_DEVICE_INVALIDATED, 0x88890004, once the endpoint has gone away).

   Threads. The change callback runs on the platform's notification thread (after a move to a
   new default endpoint, on a thread-pool thread), one call of a handle at a time, concurrently
   with the host's calls. Quillon_Destroy, the Quillon_Initialize functions and
   Quillon_SetChangeCallback stop the callback they replace: once they return, no call of it
   starts. Outside a change callback they first wait for a call already running; inside one
   (of this handle, or of another whose callback cannot be running elsewhere) they return at
   once, so a callback may destroy its own handle. So a callback must not wait for a thread
   that may be making one of these calls (post to it, don't send). Those calls must not
   overlap other calls on the same handle; the volume and mute functions may run on any
   threads at once.

   COM. Quillon_Create enters the calling thread into a single-threaded apartment (a thread in
   the multithreaded apartment keeps it) and gives back what that added when the handle is
   destroyed on the same thread. The other functions enter COM for the length of the call. */

#include <windows.h>

#ifdef QUILLON_BUILD
#define QUILLON_API __declspec(dllexport)
#else
#define QUILLON_API __declspec(dllimport)
#endif
#define QUILLON_CALL __cdecl

/* HRESULT_FROM_WIN32(ERROR_INVALID_STATE): the handle has no endpoint open. */
#define QUILLON_E_NOT_INITIALIZED ((HRESULT)0x8007139FL)
/* HRESULT_FROM_WIN32(ERROR_NOT_FOUND): no active render endpoint has the key. */
#define QUILLON_E_NOT_FOUND ((HRESULT)0x80070490L)

/* The event context of the report that a handle (or CQuillon object) following the default
   endpoint makes after moving to a new one: the new endpoint's level and mute state. */
static const GUID QUILLON_CONTEXT_ENDPOINT_MOVED = {
    0x8EFE0D17, 0x4CF5, 0x4036, {0x8C, 0xAC, 0x8E, 0x07, 0x58, 0x70, 0xAE, 0x04}};

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QUILLON_HANDLE__* QUILLON_HANDLE;

/* Told of a change that somebody else made (another program, the system's volume controls,
   another handle): the new master volume (0.0 to 1.0), the mute state and the changer's event
   context (GUID_NULL when it gave none, QUILLON_CONTEXT_ENDPOINT_MOVED after a move). Never
   called for the handle's own changes. The GUID is valid for the call only. */
typedef void(QUILLON_CALL* QUILLON_CHANGE_CALLBACK)(void* pvContext, float fMasterVolume, BOOL bMuted,
                                                    const GUID* pguidEventContext);

/* A new handle with no endpoint open; E_OUTOFMEMORY (and a null handle) when memory runs out. */
QUILLON_API HRESULT QUILLON_CALL Quillon_Create(QUILLON_HANDLE* phQuillon);
/* Stops the callback (see Threads) and closes the handle; a null handle is ignored. */
QUILLON_API void QUILLON_CALL Quillon_Destroy(QUILLON_HANDLE hQuillon);

/* Each releases the endpoint opened before, then opens: the default render endpoint of the
   console role; the active render endpoint whose device key is pszKey (8-bit text compared
   without regard to ASCII case, as listed by Quillon_ListEndpoints); or the default endpoint,
   following it from then on: when the default changes or the endpoint goes away (removed,
   disabled, unplugged), the handle moves to the new default on a thread-pool thread and
   reports its level and mute state through the callback. Calls made meanwhile reach the old
   or the new endpoint, never a released one. Until a new default exists the handle stays
   where it is. When a step fails after the volume control was opened, the volume and mute
   functions work although no change is reported. */
QUILLON_API HRESULT QUILLON_CALL Quillon_InitializeDefault(QUILLON_HANDLE hQuillon);
QUILLON_API HRESULT QUILLON_CALL Quillon_InitializeByKey(QUILLON_HANDLE hQuillon, const char* pszKey);
QUILLON_API HRESULT QUILLON_CALL Quillon_InitializeFollowingDefault(QUILLON_HANDLE hQuillon);

/* The master volume as a scalar level (0.0 to 1.0) or in decibels (within the endpoint's
   range), and the mute state. Out-of-range levels are refused by the platform. A read that
   fails leaves the caller's value as it was. */
QUILLON_API HRESULT QUILLON_CALL Quillon_GetVolume(QUILLON_HANDLE hQuillon, float* pfLevel);
QUILLON_API HRESULT QUILLON_CALL Quillon_SetVolume(QUILLON_HANDLE hQuillon, float fLevel);
QUILLON_API HRESULT QUILLON_CALL Quillon_GetVolumeDb(QUILLON_HANDLE hQuillon, float* pfDb);
QUILLON_API HRESULT QUILLON_CALL Quillon_SetVolumeDb(QUILLON_HANDLE hQuillon, float fDb);
QUILLON_API HRESULT QUILLON_CALL Quillon_GetMute(QUILLON_HANDLE hQuillon, BOOL* pbMuted);
QUILLON_API HRESULT QUILLON_CALL Quillon_SetMute(QUILLON_HANDLE hQuillon, BOOL bMute);

/* Calls pfnChanged with pvContext for every change made by others from now on, in place of
   the callback set before (none: null). May be called before or after initialising. */
QUILLON_API HRESULT QUILLON_CALL Quillon_SetChangeCallback(QUILLON_HANDLE hQuillon, QUILLON_CHANGE_CALLBACK pfnChanged,
                                                           void* pvContext);

/* One active render endpoint of a list. The strings belong to the list. */
typedef struct QUILLON_ENDPOINT
{
    /* The device key: the 8-bit text that Quillon_InitializeByKey and CQuillon's eFindByName
       match (each UTF-16 unit's low byte, at most 255; the platform's keys are ASCII, so this is
       also their UTF-8), and the key as the platform gives it. Empty when it has none. */
    const char* pszKey;
    const WCHAR* pwszKey;
    /* The name that the system shows, as UTF-8 and as UTF-16. Empty when it has none. */
    const char* pszName;
    const WCHAR* pwszName;
    /* TRUE for the default render endpoint of the console role. */
    BOOL bDefault;
} QUILLON_ENDPOINT;

typedef struct QUILLON_ENDPOINT_LIST__ QUILLON_ENDPOINT_LIST;

/* A snapshot of the active render endpoints, in the platform's order; free it with
   Quillon_FreeEndpointList. */
QUILLON_API HRESULT QUILLON_CALL Quillon_ListEndpoints(QUILLON_ENDPOINT_LIST** ppList);
/* The number of endpoints in the list (0 for a null list). */
QUILLON_API UINT32 QUILLON_CALL Quillon_EndpointCount(const QUILLON_ENDPOINT_LIST* pList);
/* The endpoint at iEndpoint; E_INVALIDARG beyond the count. */
QUILLON_API HRESULT QUILLON_CALL Quillon_GetEndpoint(const QUILLON_ENDPOINT_LIST* pList, UINT32 iEndpoint,
                                                     QUILLON_ENDPOINT* pEndpoint);
/* Frees the list and its strings; a null list is ignored. */
QUILLON_API void QUILLON_CALL Quillon_FreeEndpointList(QUILLON_ENDPOINT_LIST* pList);

/* The library's interface version: 1001 (new abilities are found by their exports). */
QUILLON_API int QUILLON_CALL Quillon_GetDllVersion(void);

#ifdef __cplusplus
}
#endif
