#pragma once

#include <windows.h>

// A library loaded at run time whose functions are called by name, so that the band can
// use a library that may be absent without linking against it.
class CDynamicLibrary
{
public:
    CDynamicLibrary();
    virtual ~CDynamicLibrary();

    // Loads a library of the system folder by its file name (no path).
    bool Load(LPCSTR pszFileName);
    BOOL Free();
    HMODULE GetModule() const;
    FARPROC GetFunction(LPCSTR pszName) const;
    // Calls a WINAPI function of three pointer-sized arguments; 0 when it is missing.
    DWORD CallFunction(LPCSTR pszName, void* pvArg1, void* pvArg2, void* pvArg3) const;

private:
    CDynamicLibrary(const CDynamicLibrary&) = delete;
    CDynamicLibrary& operator=(const CDynamicLibrary&) = delete;

    HMODULE m_hModule;
};
