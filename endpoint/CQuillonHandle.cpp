#include "CQuillonHandle.h"

#include <new>

#include "CAudioQuillonCallback.h"
#include "CQuillonInternal.h"

CQuillonHandle::~CQuillonHandle()
{
    CQuillonInternal::Detach(*this);
    delete m_pCallback;
    FreeRetired();
}

// Outside a delivery, the deliveries already under way may still use the callback swapped out:
// they are waited for. Inside this handle's own delivery, that delivery is the only one and has
// read the callback already. Inside another's, this thread must not wait: the old callback is
// kept until a later call can free it.
HRESULT CQuillonHandle::SetChangeCallback(QUILLON_CHANGE_CALLBACK pfnChanged, void* pvContext)
{
    CChangeCallback* pCallback = nullptr;
    if (pfnChanged) {
        pCallback = new (std::nothrow) CChangeCallback{pfnChanged, pvContext, nullptr};
        if (!pCallback)
            return E_OUTOFMEMORY;
    }
    CChangeCallback* pOld = static_cast<CChangeCallback*>(
        InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_pCallback), pCallback));
    if (CAudioQuillonCallback::InDeliveryTo(this)) {
        delete pOld;
    } else if (CAudioQuillonCallback::InDelivery()) {
        if (pOld) {
            pOld->pNextRetired = m_pRetired;
            m_pRetired = pOld;
        }
    } else {
        CQuillonInternal::Of(*this)->WaitForDeliveriesUnderWay();
        delete pOld;
        FreeRetired();
    }
    return S_OK;
}

void CQuillonHandle::OnVolumeChanged(float fMasterVolume, bool bMuted, GUID guidEventContext)
{
    const CChangeCallback* pCallback = static_cast<CChangeCallback*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&m_pCallback), nullptr, nullptr));
    if (!pCallback)
        return;
    const QUILLON_CHANGE_CALLBACK pfnChanged = pCallback->pfnChanged;
    void* const pvContext = pCallback->pvContext;
    pfnChanged(pvContext, fMasterVolume, bMuted ? TRUE : FALSE, &guidEventContext);
}

void CQuillonHandle::FreeRetired()
{
    while (CChangeCallback* pRetired = m_pRetired) {
        m_pRetired = pRetired->pNextRetired;
        delete pRetired;
    }
}
