#pragma once

#include <windows.h>
#include <objbase.h>

// One row of a class's interface table: an IID and how to reach the interface part that
// answers it from the object's address. Tables are constant arrays ended by a row whose IID
// is null, so they need no static construction.
struct InterfaceEntry
{
    const IID* piid;
    IUnknown* (*pfnPart)(void* pObject);
};

// Looks riid up in pTable (IUnknown answers with the first row), AddRefs the part found and
// stores it in *ppv. E_POINTER for a null ppv, E_NOINTERFACE when no row matches.
[[nodiscard]] HRESULT InterfaceLookup(void* pObject, const InterfaceEntry* pTable, REFIID riid, void** ppv);
