#include <gtest/gtest.h>

#include "QuillonTest.h"

#include <string>

namespace
{

// The Wine prefix's own audio service (an ALSA null device) through the real runtime: the list
// holds its default endpoint with a key (the platform's property, as text) and a name, and the
// name search finds it by that key. Following the default registers with the platform and lets
// go of it again.
TEST(WineCoreAudio, OpensTheDefaultEndpointAndFindsItByItsKey)
{
    CQuillon quillon;
    ASSERT_TRUE(quillon.Initialize(eFindDefault, nullptr));
    float fLevel = -1.0f;
    bool bMuted = false;
    EXPECT_TRUE(quillon.GetVolume(&fLevel, true));
    EXPECT_GE(fLevel, 0.0f);
    EXPECT_TRUE(quillon.GetVolume(&fLevel, false));
    EXPECT_TRUE(quillon.GetMute(&bMuted));
    EXPECT_TRUE(quillon.SetMute(bMuted));

    QUILLON_ENDPOINT_LIST* pList = nullptr;
    ASSERT_EQ(Quillon_ListEndpoints(&pList), S_OK);
    QUILLON_ENDPOINT endpoint = {};
    for (UINT32 i = 0; Quillon_GetEndpoint(pList, i, &endpoint) == S_OK && !endpoint.bDefault; ++i) {
    }
    std::string strKey = endpoint.pszKey ? endpoint.pszKey : "";
    EXPECT_TRUE(endpoint.bDefault);
    EXPECT_STRNE(endpoint.pszName, "");
    Quillon_FreeEndpointList(pList);
    ASSERT_FALSE(strKey.empty());
    EXPECT_TRUE(quillon.Initialize(eFindByName, strKey.c_str()));
    EXPECT_FALSE(quillon.Initialize(eFindByName, (strKey + "?").c_str()));
    EXPECT_TRUE(quillon.InitializeFollowingDefault());
}

// Initialize enters COM on its thread for the length of the call only: on a thread outside COM
// it opens the platform's endpoint (whose objects then serve every thread) and leaves the
// thread outside COM again.
TEST(WineCoreAudio, InitializeOnAThreadOutsideComLeavesItOutside)
{
    CQuillon quillon;
    RunOnThread([&] {
        EXPECT_EQ(Apartment(), -1);
        EXPECT_TRUE(quillon.Initialize(eFindDefault, nullptr));
        EXPECT_EQ(Apartment(), -1);
    });
    bool bMuted = false;
    EXPECT_TRUE(quillon.GetMute(&bMuted));
}

}
