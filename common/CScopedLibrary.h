#pragma once

#include <windows.h>

// A library loaded with LoadLibraryExA, freed when this goes.
class CScopedLibrary
{
public:
    CScopedLibrary(const char* pszFileName, DWORD dwFlags) : m_hModule(LoadLibraryExA(pszFileName, nullptr, dwFlags)) {}
    ~CScopedLibrary()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    CScopedLibrary(const CScopedLibrary&) = delete;
    CScopedLibrary& operator=(const CScopedLibrary&) = delete;

    HMODULE Get() const { return m_hModule; }

private:
    HMODULE m_hModule;
};
