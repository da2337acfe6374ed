#pragma once

// What the registry script interpreter needs of the platform: result codes, the 16-bit
// character type and the module allocator. On Windows these are the platform's own; the
// host build, which runs the interpreter under the sanitizers, defines the same names.

#ifdef _WIN32

#include <windows.h>
#include <oleauto.h>

#include "ModuleMemory.h"

#else

#include <cstddef>
#include <cstdint>

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef char16_t OLECHAR;

#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// Registry status codes the in-memory store reports, with the values Windows uses.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L

#include "ModuleMemory.h"

#endif
