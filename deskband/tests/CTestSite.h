#pragma once

#include <windows.h>
#include <shobjidl.h>

// The shell's site: its container window through IOleWindow, and IInputObjectSite; either
// can be withheld. It lives on the stack, so its count only tells what the band holds.
class CTestSite : public IOleWindow, public IInputObjectSite
{
public:
    CTestSite(HWND hwnd, bool fOleWindow = true, bool fInputSite = true)
        : m_hwnd(hwnd), m_fOleWindow(fOleWindow), m_fInputSite(fInputSite) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid == IID_IUnknown || (riid == IID_IOleWindow && m_fOleWindow))
            *ppv = static_cast<IOleWindow*>(this);
        else if (riid == IID_IInputObjectSite && m_fInputSite)
            *ppv = static_cast<IInputObjectSite*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    STDMETHODIMP GetWindow(HWND* phwnd) override { *phwnd = m_hwnd; return S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }
    ULONG m_cRef = 0;

private:
    HWND m_hwnd;
    bool m_fOleWindow;
    bool m_fInputSite;
};
