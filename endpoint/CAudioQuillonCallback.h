#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

class CQuillon;

// The change callback registered with the endpoint's volume control: hands changes made by
// others to the owner's OnVolumeChanged on the platform's notification thread.
class CAudioQuillonCallback : public IAudioEndpointVolumeCallback
{
public:
    CAudioQuillonCallback();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA pNotify) override;

    // Sets whom to tell and which event context marks the owner's own changes.
    void Arm(CQuillon* pOwner, const GUID& guidEventContext);
    // Stops telling the owner. Returns once a delivery running on another thread has
    // finished, so that the owner may go away; inside a delivery on this thread it returns
    // at once.
    void Disarm();

private:
    CAudioQuillonCallback(const CAudioQuillonCallback&) = delete;
    CAudioQuillonCallback& operator=(const CAudioQuillonCallback&) = delete;
    virtual ~CAudioQuillonCallback();

    LONG m_cRef;
    CQuillon* m_pOwner;
    GUID m_guidEventContext;
    // Held across each delivery: the owner and event context change only between
    // deliveries. Re-entrant, so an owner may be disarmed from inside its own delivery.
    CRITICAL_SECTION m_csDelivery;
};
