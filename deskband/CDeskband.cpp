#include "CDeskband.h"

// Stand-in until the desk band lands: every operation answers E_NOTIMPL.
const IID IID_IDeskband = {0xE818E963, 0x231A, 0x4E57, {0xB5, 0x01, 0x08, 0xCF, 0x13, 0xEF, 0x28, 0x67}};
const CLSID CLSID_Deskband = {0xCD656E3A, 0x1EB0, 0x45F4, {0xAC, 0x0A, 0x97, 0x1F, 0x69, 0x4D, 0x57, 0x34}};

namespace
{
IUnknown* DispatchPart(void* p) { return static_cast<IDeskband*>(static_cast<CDeskband*>(p)); }
IUnknown* BandPart(void* p) { return static_cast<IDeskBand*>(static_cast<CDeskband*>(p)); }
IUnknown* SitePart(void* p) { return static_cast<IObjectWithSite*>(static_cast<CDeskband*>(p)); }
IUnknown* PersistPart(void* p) { return static_cast<IPersistStream*>(static_cast<CDeskband*>(p)); }
}

const InterfaceEntry CDeskband::s_interfaceTable[] = {
    {&IID_IDeskband, DispatchPart},
    {&IID_IOleWindow, BandPart},
    {&IID_IDockingWindow, BandPart},
    {&IID_IObjectWithSite, SitePart},
    {&IID_IDeskBand, BandPart},
    {&IID_IPersist, PersistPart},
    {&IID_IPersistStream, PersistPart},
    {&IID_IDispatch, DispatchPart},
    {nullptr, nullptr},
};

CDeskband::CDeskband() : m_dwBandID(0), m_dwViewMode(0), m_fShow(FALSE), m_fEnterMode(FALSE),
    m_hwndParent(nullptr), m_hwndBand(nullptr), m_pSite(nullptr), m_hwndHost(nullptr),
    m_hwndUtility(nullptr), m_crBkgnd(0) {}
CDeskband::~CDeskband() {}

STDMETHODIMP CDeskband::GetWindow(HWND*) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::ShowDW(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::CloseDW(DWORD) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::ResizeBorderDW(LPCRECT, IUnknown*, BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::GetBandInfo(DWORD, DWORD, DESKBANDINFO*) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::SetSite(IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::GetSite(REFIID, void**) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::GetClassID(CLSID*) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::IsDirty() { return E_NOTIMPL; }
STDMETHODIMP CDeskband::Load(IStream*) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::Save(IStream*, BOOL) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
STDMETHODIMP CDeskband::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) { return E_NOTIMPL; }
