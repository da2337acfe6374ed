#include "CDemoSite.h"

CDemoSite::CDemoSite(HWND hwndContainer) : m_cRef(1), m_hwndContainer(hwndContainer) {}

STDMETHODIMP CDemoSite::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleWindow)
        *ppv = static_cast<IOleWindow*>(this);
    else if (riid == IID_IInputObjectSite)
        *ppv = static_cast<IInputObjectSite*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CDemoSite::AddRef()
{
    return InterlockedIncrement(&m_cRef);
}

STDMETHODIMP_(ULONG) CDemoSite::Release()
{
    const LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return cRef;
}

STDMETHODIMP CDemoSite::GetWindow(HWND* phwnd)
{
    if (!phwnd)
        return E_POINTER;
    *phwnd = m_hwndContainer;
    return S_OK;
}

STDMETHODIMP CDemoSite::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemoSite::OnFocusChangeIS(IUnknown*, BOOL)
{
    return S_OK;
}
