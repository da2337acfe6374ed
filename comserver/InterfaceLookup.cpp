#include "InterfaceEntry.h"

namespace
{
// IUnknown is answered by the first row, whose part is the object's identity.
const InterfaceEntry* FindEntry(const InterfaceEntry* pTable, REFIID riid)
{
    if (IsEqualIID(riid, IID_IUnknown))
        return pTable;
    for (const InterfaceEntry* pEntry = pTable; pEntry->piid; ++pEntry) {
        if (IsEqualIID(riid, *pEntry->piid))
            return pEntry;
    }
    return nullptr;
}
}

HRESULT InterfaceLookup(void* pObject, const InterfaceEntry* pTable, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    const InterfaceEntry* pEntry = FindEntry(pTable, riid);
    if (!pEntry)
        return E_NOINTERFACE;
    IUnknown* pPart = pEntry->pfnPart(pObject);
    pPart->AddRef();
    *ppv = pPart;
    return S_OK;
}
