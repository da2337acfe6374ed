#pragma once

// Quillon: master volume and mute of an audio render endpoint, and notice of changes that
// others make to them. This header and the import library are all a host needs.

#include <windows.h>

#ifdef QUILLON_BUILD
#define QUILLON_API __declspec(dllexport)
#else
#define QUILLON_API __declspec(dllimport)
#endif

// How Initialize chooses its endpoint.
enum eFindDevice
{
    eFindDefault = 0, // the default render endpoint of the console role (any value but 1)
    eFindByName = 1   // the active render endpoint whose device key matches the name
};

class CQuillonInternal;

// One audio render endpoint's volume control. Derive from it and override OnVolumeChanged
// to hear of changes made by others. Every bool result is true exactly when the platform
// call succeeded; without an opened endpoint the operations return false.
class QUILLON_API CQuillon
{
public:
    // Makes the implementation and initialises COM on this thread. Throws std::bad_alloc
    // when memory runs out; nothing else throws.
    CQuillon();
    // A copy shares the source's endpoint and event context; it is never notified itself.
    CQuillon(const CQuillon& source);
    // Shares the source's endpoint instead of this object's; if this object was the one
    // notified for its previous endpoint, those notifications stop.
    CQuillon& operator=(const CQuillon& source);
    // Stops this object's notifications (waiting for one being delivered on another thread)
    // and releases the endpoint once no copy uses it any more.
    virtual ~CQuillon();

    // Opens the endpoint and registers for change notification; true when both succeeded.
    // pszName (8-bit text, compared without regard to ASCII case) is read only with
    // eFindByName. A second call releases the first call's endpoint. Must not run
    // concurrently with other calls on this object or its copies.
    bool Initialize(eFindDevice eFind, const char* pszName);
    // Mutes or unmutes the endpoint.
    bool SetMute(bool bMute);
    // Reads the mute state into *pbMute; leaves it unchanged on failure.
    bool GetMute(bool* pbMute);
    // Sets the master volume: bScalar true for 0.0 to 1.0, false for decibels within the
    // endpoint's range. Levels out of range are refused.
    bool SetVolume(float fLevel, bool bScalar);
    // Reads the master volume into *pfLevel, as a scalar level or in decibels.
    bool GetVolume(float* pfLevel, bool bScalar);
    // Diagnostics on the scalar level: 1 steps up by 0.01, 2 steps down by 0.01 (both
    // clamped to 0.0 to 1.0), 3 traces it; other modes do nothing.
    void Test(int nMode);

    // Called on the platform's notification thread, concurrently with the host's own calls,
    // when another program or another CQuillon changes the endpoint's master volume (scalar),
    // a channel volume or the mute state; never for this object's own changes. guidEventContext
    // is the changer's (GUID_NULL when it gave none). The base version does nothing. An
    // override must not throw. It may still be running while a derived destructor runs;
    // ~CQuillon waits for such a call (unless made inside it) and none follows.
    virtual void OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext);

private:
    CQuillonInternal* m_pImpl;
};

// The library's interface version: 1001.
extern "C" QUILLON_API int Quillon_GetDllVersion();
