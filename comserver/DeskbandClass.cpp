#include "DeskbandClass.h"

#include <shlguid.h>

#include "CAggregatedInstance.h"
#include "CStandaloneInstance.h"

namespace
{
const CategoryEntry s_deskbandCategories[] = {
    {eCategoryImplemented, &CATID_DeskBand},
    {eCategoryEnd, nullptr},
};
}

HRESULT CreateDeskbandInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (pUnkOuter)
        return CAggregatedInstance::Create(pUnkOuter, riid, ppv);
    return CStandaloneInstance::Create(riid, ppv);
}

// No description: registration handles the class through its registry script.
LPCSTR GetDeskbandDescription()
{
    return nullptr;
}

const CategoryEntry* GetDeskbandCategories()
{
    return s_deskbandCategories;
}

void DeskbandClassStartStop(bool) {}
