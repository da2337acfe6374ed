#include "CDynamicLibrary.h"

#include <string.h>

#include "Trace.h"

CDynamicLibrary::CDynamicLibrary() : m_hModule(nullptr) {}

CDynamicLibrary::~CDynamicLibrary()
{
    Free();
}

// Only the system folder is searched. A bare name is looked for first in the folder of the
// program that loaded us, where anyone could have placed a library of that name.
bool CDynamicLibrary::Load(LPCSTR pszFileName)
{
    Free();
    m_hModule = LoadLibraryExA(pszFileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems without the search flags (Windows 7 and older without the update that added
    // them) reject the flag as an invalid parameter: name the file by its full path there.
    if (!m_hModule && GetLastError() == ERROR_INVALID_PARAMETER) {
        char szPath[MAX_PATH];
        const size_t cchFolder = GetSystemDirectoryA(szPath, MAX_PATH);
        const size_t cbFileName = strlen(pszFileName) + 1;
        if (cchFolder != 0 && cchFolder + 1 + cbFileName <= MAX_PATH) {
            szPath[cchFolder] = '\\';
            memcpy(szPath + cchFolder + 1, pszFileName, cbFileName);
            m_hModule = LoadLibraryExA(szPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
    }
    return m_hModule != nullptr;
}

BOOL CDynamicLibrary::Free()
{
    if (!m_hModule)
        return FALSE;
    const BOOL fFreed = FreeLibrary(m_hModule);
    m_hModule = nullptr;
    return fFreed;
}

HMODULE CDynamicLibrary::GetModule() const
{
    return m_hModule;
}

FARPROC CDynamicLibrary::GetFunction(LPCSTR pszName) const
{
    if (!m_hModule)
        return nullptr;
    const FARPROC pfn = GetProcAddress(m_hModule, pszName);
    if (!pfn)
        Trace("!!!DLL FUNCTION NOT FOUND!!! '%s'\n", pszName);
    return pfn;
}

DWORD CDynamicLibrary::CallFunction(LPCSTR pszName, void* pvArg1, void* pvArg2, void* pvArg3) const
{
    typedef DWORD(WINAPI * PFNTHREEARGS)(void*, void*, void*);
    const PFNTHREEARGS pfn = reinterpret_cast<PFNTHREEARGS>(GetFunction(pszName));
    return pfn ? pfn(pvArg1, pvArg2, pvArg3) : 0;
}
