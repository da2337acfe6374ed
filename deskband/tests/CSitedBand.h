#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "CTestSite.h"
#include "CTestTaskbar.h"
#include "TestShell.h"

// A band created through the library's exports and sited on a test taskbar of the given size,
// as the shell leaves it after SetSite.
class CSitedBand
{
public:
    explicit CSitedBand(int nWidth = CTestTaskbar::kDefaultWidth, int nHeight = CTestTaskbar::kDefaultHeight)
        : m_taskbar(nWidth, nHeight), m_site(m_taskbar.m_hwnd)
    {
        m_pBand = CreateBand();
        m_pWithSite = QueryAs<IObjectWithSite>(m_pBand, IID_IObjectWithSite);
        if (m_pWithSite && m_pWithSite->SetSite(m_site.Unknown()) == S_OK) {
            m_hwndUtility = UtilityWindow();
            m_pBand->GetWindow(&m_hwndBand);
        }
    }
    ~CSitedBand() { ReleaseBand(); }
    CSitedBand(const CSitedBand&) = delete;
    CSitedBand& operator=(const CSitedBand&) = delete;

    bool IsSited() const { return IsWindow(m_hwndUtility) && IsWindow(m_hwndBand); }
    // A final Release while sited takes the windows and the site reference along.
    void ReleaseBand()
    {
        for (IUnknown* pUnknown : {static_cast<IUnknown*>(m_pWithSite), static_cast<IUnknown*>(m_pBand)})
            if (pUnknown)
                pUnknown->Release();
        m_pWithSite = nullptr;
        m_pBand = nullptr;
    }
    LRESULT Ask(UINT uMsg, LPARAM lParam = 0) const { return SendMessageA(m_hwndUtility, uMsg, 0, lParam); }
    void ResizeBand(int x, int y, int cx, int cy, UINT uFlags = 0) const
    {
        SetWindowPos(m_hwndBand, nullptr, x, y, cx, cy, uFlags | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages();
    }

    CTestTaskbar m_taskbar;
    CTestSite m_site;
    IDeskBand* m_pBand = nullptr;
    IObjectWithSite* m_pWithSite = nullptr;
    HWND m_hwndUtility = nullptr;
    HWND m_hwndBand = nullptr;
};
