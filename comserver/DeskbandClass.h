#pragma once

#include <windows.h>

#include "ClassEntry.h"

// The functions of the desk band's class table row.
HRESULT UpdateDeskbandRegistry(BOOL fRegister);
HRESULT CreateDeskbandInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv);
LPCSTR GetDeskbandDescription();
const CategoryEntry* GetDeskbandCategories();
void DeskbandClassStartStop(bool fStarting);
