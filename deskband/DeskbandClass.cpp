#include "DeskbandClass.h"

#include <shlguid.h>

#include "CDeskband.h"
#include "InstanceCreator.h"
#include "Registration.h"

const GUID LIBID_VELTRIXLib = {0xAA5F1712, 0x1151, 0x4CA8, {0x86, 0xA0, 0xA5, 0x2E, 0x61, 0x02, 0xD6, 0xB9}};

CTypeInfoCache g_deskbandTypeInfo(LIBID_VELTRIXLib, 1, 0, IID_IDeskband);

namespace
{
// The registry script the band registers itself from.
const UINT kuRegistryScriptId = 101;

const CategoryEntry s_deskbandCategories[] = {
    {eCategoryImplemented, &CATID_DeskBand},
    {eCategoryEnd, nullptr},
};
}

HRESULT UpdateDeskbandRegistry(BOOL fRegister)
{
    return ApplyRegistryScript(&g_module, kuRegistryScriptId, fRegister != FALSE, nullptr);
}

HRESULT CreateDeskbandInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    return CreateInstanceOf<CDeskband>(pUnkOuter, riid, ppv);
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
