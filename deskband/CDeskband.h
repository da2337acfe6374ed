#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "CBitmapDC.h"
#include "CDynamicLibrary.h"
#include "IDeskband.h"
#include "InterfaceEntry.h"

// The desk band object. Its reference count and interface lookup come from the instance
// classes that wrap it (CStandaloneInstance, or CContainedInstance inside a
// CAggregatedInstance), which implement IUnknown for all four interface parts; the
// interface pointers stand in the object in the order of the base list below.
class CDeskband : public IDeskBand, public IObjectWithSite, public IPersistStream, public IDeskband
{
public:
    // Interface table searched by the instance classes' lookup; IUnknown answers with the
    // first row, the IDeskband part, which is the object's identity.
    static const InterfaceEntry s_interfaceTable[];

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    // IDockingWindow
    STDMETHODIMP ShowDW(BOOL fShow) override;
    STDMETHODIMP CloseDW(DWORD dwReserved) override;
    STDMETHODIMP ResizeBorderDW(LPCRECT prcBorder, IUnknown* punkToolbarSite, BOOL fReserved) override;
    // IDeskBand
    STDMETHODIMP GetBandInfo(DWORD dwBandID, DWORD dwViewMode, DESKBANDINFO* pdbi) override;
    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* pUnkSite) override;
    STDMETHODIMP GetSite(REFIID riid, void** ppvSite) override;
    // IPersist, IPersistStream
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream* pStm) override;
    STDMETHODIMP Save(IStream* pStm, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pcbSize) override;
    // IDispatch, answered from the registered type library's information for IDeskband
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

protected:
    CDeskband();
    ~CDeskband();

private:
    CDeskband(const CDeskband&) = delete;
    CDeskband& operator=(const CDeskband&) = delete;

    [[nodiscard]] BOOL CreateBandWindows();
    void DestroyBandWindows();
    void ForgetDestroyedWindow();
    void ReleaseSite();
    static LRESULT CALLBACK DeskbandWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnUtilityMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnBandMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void OnWindowPosChanged(const WINDOWPOS* pwp);
    void PostRefresh();
    void DrawBackground(HDC hdc, RECT* prc);
    void PaintBackground(HDC hdc);
    void RenderBackground();
    void UpdateHost();
    void SendSnapshot();

    DWORD m_dwBandID;
    DWORD m_dwViewMode;
    BOOL m_fShow;
    BOOL m_fEnterMode;
    HWND m_hwndParent;
    HWND m_hwndBand;
    IInputObjectSite* m_pSite;
    HWND m_hwndHost;
    HWND m_hwndUtility;
    COLORREF m_crBkgnd;
    CDynamicLibrary m_themeLibrary;
    CBitmapDC m_surface;
    // The last of the two windows that reported WM_NCDESTROY, until it is known whether it
    // went (the message can also come from outside).
    HWND m_hwndNcDestroyed;
    // A snapshot is being sent, and another one was asked for meanwhile.
    BOOL m_fSending;
    BOOL m_fSnapshotPending;
};
