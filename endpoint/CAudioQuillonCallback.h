#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>

class CQuillon;

// The change callback of one registration: hands changes made by others to the owner's
// OnVolumeChanged on the platform's notification thread. The platform forbids the callback to
// wait on a synchronisation object, so nothing here blocks that thread: deliveries are counted
// with interlocked operations, and whoever stops them waits for the count on its own thread.
class CAudioQuillonCallback : public IAudioEndpointVolumeCallback
{
public:
    // A callback that tells pOwner of changes whose event context is not guidEventContext,
    // with one reference for the caller; null when memory runs out.
    static CAudioQuillonCallback* Create(CQuillon* pOwner, const GUID& guidEventContext);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA pNotify) override;

    // Stops telling the owner: once this returns, no OnVolumeChanged starts. On a thread
    // outside every delivery it also waits until deliveries running on other threads have
    // left the owner. Inside a delivery it must not wait: it relies on the platform calling
    // one endpoint's callbacks from one notification thread at a time, so that no other
    // delivery is in the owner then.
    void Disarm();

    // Whether this thread is inside an owner's OnVolumeChanged, of any callback: there the
    // platform's rules forbid waiting, unregistering and final releases.
    static bool InDelivery();
    // The library's thread state: set up at load (false when it cannot be), dropped at unload.
    static bool StartUp();
    static void ShutDown();

private:
    CAudioQuillonCallback(CQuillon* pOwner, const GUID& guidEventContext);
    CAudioQuillonCallback(const CAudioQuillonCallback&) = delete;
    CAudioQuillonCallback& operator=(const CAudioQuillonCallback&) = delete;
    virtual ~CAudioQuillonCallback();

    CQuillon* Owner();

    LONG m_cRef;
    // Read and cleared with interlocked operations only.
    CQuillon* volatile m_pOwner;
    const GUID m_guidEventContext;
    // Deliveries under way (each counted before it reads the owner).
    LONG m_cDelivering;
    // Set when the count drops to zero; made by the first Disarm that has to wait, closed
    // with this object, so that a delivery never signals a closed handle.
    HANDLE volatile m_hDrained;
};
