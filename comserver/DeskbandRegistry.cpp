#include "DeskbandClass.h"

// Registering the class runs its registry script; until that lands, the class cannot
// register itself.
HRESULT UpdateDeskbandRegistry(BOOL)
{
    return E_NOTIMPL;
}
