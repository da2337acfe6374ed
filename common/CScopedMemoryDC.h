#pragma once

#include <windows.h>

// A memory device context from CreateCompatibleDC, deleted when this goes.
class CScopedMemoryDC
{
public:
    explicit CScopedMemoryDC(HDC hdcCompatible) : m_hdc(CreateCompatibleDC(hdcCompatible)) {}
    ~CScopedMemoryDC()
    {
        if (m_hdc)
            DeleteDC(m_hdc);
    }
    CScopedMemoryDC(const CScopedMemoryDC&) = delete;
    CScopedMemoryDC& operator=(const CScopedMemoryDC&) = delete;

    HDC Get() const { return m_hdc; }

private:
    HDC m_hdc;
};
