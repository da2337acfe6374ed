#include "CDynamicLibrary.h"

// Stand-in until the desk band lands.
CDynamicLibrary::CDynamicLibrary() : m_hModule(nullptr) {}
CDynamicLibrary::~CDynamicLibrary() { Free(); }
bool CDynamicLibrary::Load(LPCSTR) { return false; }
BOOL CDynamicLibrary::Free() { return FALSE; }
HMODULE CDynamicLibrary::GetModule() const { return m_hModule; }
FARPROC CDynamicLibrary::GetFunction(LPCSTR) const { return nullptr; }
DWORD CDynamicLibrary::CallFunction(LPCSTR, void*, void*, void*) const { return 0; }
