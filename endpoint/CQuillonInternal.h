#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include "Quillon.h"

class CAudioQuillonCallback;

// Everything behind a CQuillon: the COM count it added, the chosen endpoint, its volume
// control, the event context that marks this implementation's own changes, and the change
// callback. An object and its copies share one implementation; only the object that made it
// (the owner) is notified and (re)initialises it; the last object to let go destroys it.
class CQuillonInternal
{
public:
    // An implementation owned by pOwner, after entering this thread into COM; null when memory
    // runs out (COM then left as it was). Never throws.
    static CQuillonInternal* Create(CQuillon* pOwner);

    // Opens an endpoint and registers a new change callback; true when both succeeded. What
    // a failing step leaves held stays held until the next Initialize or destruction. Called
    // by the owner only.
    bool Initialize(eFindDevice eFind, const char* pszName);
    bool IsOwner(const CQuillon* pObject);

    // Another object (a copy) now uses this implementation.
    void AddShare();
    // pObject no longer uses this implementation. When it is the owner, no notification
    // starts after this returns; the last object to leave destroys the implementation.
    void Leave(CQuillon* pObject);

    IAudioEndpointVolume* m_pVolume;
    GUID m_guidEventContext;

private:
    explicit CQuillonInternal(CQuillon* pOwner);
    virtual ~CQuillonInternal();
    CQuillonInternal(const CQuillonInternal&) = delete;
    CQuillonInternal& operator=(const CQuillonInternal&) = delete;

    CQuillon* Owner();
    // Stops the callback and ends its registration; with bEndpoint, drops the endpoint too.
    void LetGo(bool bEndpoint);
    bool ChooseEndpoint(eFindDevice eFind, const char* pszName);
    IMMDevice* FindByName(const char* pszName);

    // Read and cleared with interlocked operations only.
    CQuillon* volatile m_pOwner;
    IMMDeviceEnumerator* m_pEnumerator;
    IMMDevice* m_pDevice;
    // The callback made by the latest Initialize, until it is let go of.
    CAudioQuillonCallback* m_pCallback;
    bool m_bRegistered;
    // Objects sharing this implementation: the owner and its copies.
    LONG m_cShare;
    // The thread whose COM count the constructor added to, and whether it did.
    DWORD m_dwComThread;
    bool m_bComAdded;
};
