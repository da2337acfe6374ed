#pragma once

#include <windows.h>

// Owns a GDI object (brush, font, bitmap, pen) and deletes it when it goes. Deselect it from
// any device context first (CScopedSelection does so when declared after this).
template <class T> class CScopedGdiObject
{
public:
    explicit CScopedGdiObject(T hObject) : m_hObject(hObject) {}
    ~CScopedGdiObject()
    {
        if (m_hObject)
            DeleteObject(m_hObject);
    }
    CScopedGdiObject(const CScopedGdiObject&) = delete;
    CScopedGdiObject& operator=(const CScopedGdiObject&) = delete;

    T Get() const { return m_hObject; }

private:
    T m_hObject;
};
