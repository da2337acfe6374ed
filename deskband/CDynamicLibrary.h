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
    // Calls a WINAPI function of three pointer-sized arguments and a 32-bit result (an
    // HRESULT, say); 0 when it is missing. The result is read as the 32 bits it is: on x64
    // the upper half of the result register is undefined for such a function.
    DWORD CallFunction(LPCSTR pszName, void* pvArg1, void* pvArg2, void* pvArg3) const;

private:
    CDynamicLibrary(const CDynamicLibrary&) = delete;
    CDynamicLibrary& operator=(const CDynamicLibrary&) = delete;

    HMODULE m_hModule;
};
