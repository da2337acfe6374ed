#pragma once

#include <windows.h>
#include <shobjidl.h>

// The shell's site: its container window through IOleWindow, and IInputObjectSite; one of
// them can be withheld. It lives on the stack, so its count only tells what the band holds.
class CTestSite : public IOleWindow, public IInputObjectSite
{
public:
    explicit CTestSite(HWND hwnd, REFIID riidWithheld = IID_NULL) : m_hwnd(hwnd), m_iidWithheld(riidWithheld) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid != m_iidWithheld && (riid == IID_IUnknown || riid == IID_IOleWindow))
            *ppv = static_cast<IOleWindow*>(this);
        else if (riid != m_iidWithheld && riid == IID_IInputObjectSite)
            *ppv = static_cast<IInputObjectSite*>(this);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        *phwnd = m_hwnd;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }
    IUnknown* Unknown() { return static_cast<IOleWindow*>(this); }
    ULONG m_cRef = 0;

private:
    HWND m_hwnd;
    IID m_iidWithheld;
};
