#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

#include "Quillon.h"

class CAudioQuillonCallback;

// Everything behind a CQuillon: COM, the chosen endpoint, its volume control, the event
// context that marks this implementation's own changes, and the change callback. An object
// and its copies share one implementation; the last of them to let go destroys it.
class CQuillonInternal
{
public:
    CQuillonInternal();
    virtual ~CQuillonInternal();

    // Opens an endpoint and registers the change callback; true when both succeeded. What
    // a failing step leaves held stays held until the next Initialize or destruction.
    bool Initialize(eFindDevice eFind, const char* pszName);

    // Another object (a copy) now uses this implementation.
    void AddShare();
    // pObject no longer uses this implementation. When it is the owner, notifications stop
    // before this returns; the last object to leave destroys the implementation.
    void Leave(CQuillon* pObject);

    CQuillon* m_pOwner;
    IMMDeviceEnumerator* m_pEnumerator;
    IMMDevice* m_pDevice;
    IAudioEndpointVolume* m_pVolume;
    GUID m_guidEventContext;
    CAudioQuillonCallback* m_pCallback;
    bool m_bRegistered;

private:
    CQuillonInternal(const CQuillonInternal&) = delete;
    CQuillonInternal& operator=(const CQuillonInternal&) = delete;

    void Unregister();
    void ReleaseEndpoint();
    bool ChooseEndpoint(eFindDevice eFind, const char* pszName);
    IMMDevice* FindByName(const char* pszName);

    // Objects sharing this implementation: the owner and its copies.
    LONG m_cShare;
};
