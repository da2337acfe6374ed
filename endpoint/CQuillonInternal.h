#pragma once

#include <windows.h>

#include "CEndpointBinding.h"
#include "Quillon.h"

// Everything behind a CQuillon (and a handle of the C interface, which is one): the COM count it
// added and the binding that the latest Initialize opened. An object and its copies share one
// implementation; only the object that made it (the owner) is notified and (re)initialises it;
// the last object to let go destroys it.
class CQuillonInternal
{
public:
    // An implementation owned by pOwner, after entering this thread into COM; null when memory
    // runs out (COM then left as it was). Never throws.
    static CQuillonInternal* Create(CQuillon* pOwner);
    // The implementation of an object (null when it has none), and its letting go of it ahead of
    // its destructor.
    static CQuillonInternal* Of(const CQuillon& quillon) { return quillon.m_pImpl; }
    static void Detach(CQuillon& quillon);

    // Opens an endpoint for quillon and registers for its changes, after letting go of the
    // previous one; E_OUTOFMEMORY without an implementation. What a failing step leaves held
    // stays held until the next Initialize or destruction.
    [[nodiscard]] static HRESULT Initialize(CQuillon& quillon, CEndpointBinding::eEndpoint endpoint,
                                            const char* pszKey);

    // Another object (a copy) now uses this implementation.
    void AddShare();
    // pObject no longer uses this implementation. When it is the owner, no notification
    // starts after this returns; the last object to leave destroys the implementation.
    void Leave(CQuillon* pObject);

    // The operations of the class and of the C interface; QUILLON_E_NOT_INITIALIZED without an
    // endpoint's volume control. A read that fails leaves the caller's value as it was.
    [[nodiscard]] HRESULT SetMute(BOOL bMute);
    [[nodiscard]] HRESULT GetMute(BOOL* pbMuted);
    [[nodiscard]] HRESULT SetVolume(float fLevel, bool bScalar);
    [[nodiscard]] HRESULT GetVolume(float* pfLevel, bool bScalar);
    template <class F> HRESULT UseVolume(F action)
    {
        return m_pBinding ? m_pBinding->UseVolume(action) : QUILLON_E_NOT_INITIALIZED;
    }
    // Returns once every OnVolumeChanged that had started has returned (outside deliveries).
    void WaitForDeliveriesUnderWay();

private:
    explicit CQuillonInternal(CQuillon* pOwner);
    virtual ~CQuillonInternal();
    CQuillonInternal(const CQuillonInternal&) = delete;
    CQuillonInternal& operator=(const CQuillonInternal&) = delete;

    CQuillon* Owner();
    [[nodiscard]] HRESULT Open(CEndpointBinding::eEndpoint endpoint, const char* pszKey);

    // Read and cleared with interlocked operations only.
    CQuillon* volatile m_pOwner;
    // The latest Initialize's binding (a reference), or null.
    CEndpointBinding* m_pBinding;
    // Objects sharing this implementation: the owner and its copies.
    LONG m_cShare;
    // The thread whose COM count the constructor added to, and whether it did.
    DWORD m_dwComThread;
    bool m_bComAdded;
};
