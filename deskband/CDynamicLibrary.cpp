#include "CDynamicLibrary.h"

#include "Trace.h"

CDynamicLibrary::CDynamicLibrary() : m_hModule(nullptr) {}

CDynamicLibrary::~CDynamicLibrary()
{
    Free();
}

bool CDynamicLibrary::Load(LPCSTR pszFileName)
{
    Free();
    m_hModule = LoadLibraryA(pszFileName);
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
