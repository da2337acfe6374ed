#include "DeskbandClass.h"

#include "Registration.h"

// The desk band registers itself from its registry script, resource REGISTRY 101.
HRESULT UpdateDeskbandRegistry(BOOL fRegister)
{
    return ApplyRegistryScript(&g_module, 101, fRegister != FALSE, nullptr);
}
