#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ModulePaths.h"

TEST(ModulePaths, DirectoryPartTypeLibraryFileAndQuoting)
{
    EXPECT_EQ(DirectoryPartLength(u"C:\\dir.x\\Veltrix.dll"), 9u);
    EXPECT_EQ(DirectoryPartLength(u"C:Veltrix.dll"), 2u);
    EXPECT_EQ(DirectoryPartLength(u"a/b\\c/d"), 6u);

    // The ".tlb" name replaces from the last "." of the whole path, or is appended.
    const char* aszCases[][2] = {{"C:\\bin\\Veltrix.dll", "C:\\bin\\Veltrix.tlb"},
                                 {"C:\\bin.d\\Veltrix", "C:\\bin.tlb"},
                                 {"C:\\bin\\Veltrix", "C:\\bin\\Veltrix.tlb"}};
    for (const auto& c : aszCases) {
        char szPath[64];
        std::strcpy(szPath, c[0]);
        ASSERT_TRUE(ReplaceWithTypeLibExtension(szPath, sizeof(szPath)));
        EXPECT_STREQ(szPath, c[1]);
    }
    char szFull[8] = "abcdefg";
    EXPECT_FALSE(ReplaceWithTypeLibExtension(szFull, sizeof(szFull)));
    EXPECT_STREQ(szFull, "abcdefg");

    OLECHAR szOut[32];
    EXPECT_EQ(QuoteForScript(u"C:\\Band's", szOut, 32), 11u);
    EXPECT_EQ(std::u16string(szOut), u"C:\\Band''s");
    EXPECT_EQ(QuoteForScript(u"''", szOut, 4), 5u); // too small: nothing written but the size
}
