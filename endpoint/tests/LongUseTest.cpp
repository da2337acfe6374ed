// Long use of the exported class: many objects created, initialised and destroyed in turn
// must leave nothing behind in the audio service or among the process's handles.
#include <gtest/gtest.h>

#include "CSimAudioService.h"
#include "Quillon.h"

namespace
{

// The process's open handles. Where the platform leaves the count unimplemented (Wine
// answers 0), the handle values the platform still accepts are counted instead: handles are
// small multiples of four, handed out lowest first.
DWORD OpenHandleCount()
{
    DWORD cHandles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &cHandles) && cHandles != 0)
        return cHandles;
    const ULONG_PTR kuHandleLimit = 0x10000;
    for (ULONG_PTR uHandle = 4; uHandle < kuHandleLimit; uHandle += 4) {
        DWORD dwFlags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(uHandle), &dwFlags))
            ++cHandles;
    }
    return cHandles;
}

void CreateInitialiseDestroy(int cCycles)
{
    for (int i = 0; i < cCycles; ++i) {
        CQuillon* pQuillon = new CQuillon;
        EXPECT_TRUE(pQuillon->Initialize(i % 2 ? eFindByName : eFindDefault, "Line Out"));
        delete pQuillon;
    }
}

}

TEST(LongUse, TenThousandObjectsLeaveNoServiceObjectsOrHandles)
{
    CSimAudioService service;
    service.AddEndpoint(L"Speakers");
    service.AddEndpoint(L"Line Out");
    // The first cycles let the runtime set up what it keeps for the process (under Wine a
    // few handles appear within the first several hundred).
    CreateInitialiseDestroy(1000);
    const DWORD cHandlesBefore = OpenHandleCount();

    CreateInitialiseDestroy(10000);
    EXPECT_EQ(service.Live(), 0);
    EXPECT_EQ(service.Endpoint(0).callbacks.size() + service.Endpoint(1).callbacks.size(), 0u);
    EXPECT_EQ(OpenHandleCount(), cHandlesBefore);
}
