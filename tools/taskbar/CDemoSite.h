#pragma once

#include <windows.h>
#include <shobjidl.h>

// The site the taskbar gives a desk band, as the shell's band site does: the container
// window (IOleWindow) and focus notification (IInputObjectSite). Lives on the heap and
// deletes itself at its final Release.
class CDemoSite final : public IOleWindow, public IInputObjectSite
{
public:
    // With one reference, for the caller.
    explicit CDemoSite(HWND hwndContainer);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    STDMETHODIMP OnFocusChangeIS(IUnknown* punkObj, BOOL fSetFocus) override;

private:
    ~CDemoSite() = default;

    LONG m_cRef;
    HWND m_hwndContainer;
};
