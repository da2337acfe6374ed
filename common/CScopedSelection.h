#pragma once

#include <windows.h>

// Selects a GDI object into a device context and puts the previous one back when this goes.
class CScopedSelection
{
public:
    CScopedSelection(HDC hdc, HGDIOBJ hObject) : m_hdc(hdc), m_hPrevious(SelectObject(hdc, hObject)) {}
    ~CScopedSelection()
    {
        if (m_hPrevious && m_hPrevious != HGDI_ERROR)
            SelectObject(m_hdc, m_hPrevious);
    }
    CScopedSelection(const CScopedSelection&) = delete;
    CScopedSelection& operator=(const CScopedSelection&) = delete;

private:
    HDC m_hdc;
    HGDIOBJ m_hPrevious;
};
