// The test host's check of a received block, in a translation unit that sees nothing but the
// protocol header and is compiled as strict C99: the header stands on its own in C and links
// beside another unit that includes it.
#include "DeskbandProtocol.h"

bool TestHostAccepts(uintptr_t dwData, const void* pvData, size_t cbData);

bool TestHostAccepts(uintptr_t dwData, const void* pvData, size_t cbData)
{
    return DeskbandSnapshotIsValid(dwData, pvData, cbData, NULL);
}
