#pragma once

#include <windows.h>

#include "CTypeInfoCache.h"
#include "ClassEntry.h"

// The desk band's row in Veltrix's class table, and the type information its IDispatch
// answers from.

extern "C" const GUID LIBID_VELTRIXLib; // {AA5F1712-1151-4CA8-86A0-A52E6102D6B9}

// The type information of IDeskband, shared by all desk band objects of the process.
extern CTypeInfoCache g_deskbandTypeInfo;

[[nodiscard]] HRESULT UpdateDeskbandRegistry(BOOL fRegister);
[[nodiscard]] HRESULT CreateDeskbandInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv);
LPCSTR GetDeskbandDescription();
const CategoryEntry* GetDeskbandCategories();
void DeskbandClassStartStop(bool fStarting);
