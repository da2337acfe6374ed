#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <functional>

// The shell's site: its container window through IOleWindow, and IInputObjectSite; one of
// them can be withheld. It lives on the stack, so its count only tells what the band holds.
// It also serves as the outer object that aggregates a band.
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
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG cRef = --m_cRef;
        if (m_fnOnRelease)
            m_fnOnRelease();
        return cRef;
    }
    STDMETHODIMP GetWindow(HWND* phwnd) override
    {
        *phwnd = m_hwnd;
        return m_hrGetWindow;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }
    IUnknown* Unknown() { return static_cast<IOleWindow*>(this); }
    ULONG m_cRef = 0;
    // GetWindow's result (the window is written all the same), and what runs after each Release.
    HRESULT m_hrGetWindow = S_OK;
    std::function<void()> m_fnOnRelease;

private:
    HWND m_hwnd;
    IID m_iidWithheld;
};
