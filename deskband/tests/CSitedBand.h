#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "CComRef.h"
#include "CTestSite.h"
#include "CVeltrixLibrary.h"

// A band created through the library's exports and sited on a test taskbar of the given size,
// as the shell leaves it after SetSite.
class CSitedBand
{
public:
    explicit CSitedBand(int cx = CTestSite::kcxTaskbar, int cy = CTestSite::kcyTaskbar) : m_site(cx, cy)
    {
        if (SUCCEEDED(m_library.Create(IID_IDeskBand, m_pBand.Receive())) &&
            SUCCEEDED(m_pBand->QueryInterface(IID_IObjectWithSite, m_pWithSite.ReceiveVoid())) &&
            m_pWithSite->SetSite(m_site.Unknown()) == S_OK) {
            m_hwndUtility = FindUtilityWindowOf(GetCurrentProcessId());
            (void)m_pBand->GetWindow(&m_hwndBand);
        }
    }

    bool IsSited() const { return IsWindow(m_hwndUtility) && IsWindow(m_hwndBand); }
    LRESULT Ask(UINT uMsg, LPARAM lParam = 0) const { return SendMessageA(m_hwndUtility, uMsg, 0, lParam); }
    void ResizeBand(int x, int y, int cx, int cy, UINT uFlags = 0) const
    {
        SetWindowPos(m_hwndBand, nullptr, x, y, cx, cy, uFlags | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages();
    }

    // Constructed in this order, and let go of in the other: a final Release while sited takes
    // the windows and the site reference along before the taskbar goes and the library is freed.
    CVeltrixLibrary m_library;
    CTestSite m_site;
    CComRef<IDeskBand> m_pBand;
    CComRef<IObjectWithSite> m_pWithSite;
    HWND m_hwndUtility = nullptr;
    HWND m_hwndBand = nullptr;
};
