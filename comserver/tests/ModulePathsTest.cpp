#include <gtest/gtest.h>

#include <string>

#include "ModulePaths.h"

TEST(ModulePaths, DirectoryPartEndsAtTheLastSeparator)
{
    EXPECT_EQ(DirectoryPartLength(u"C:\\dir.x\\Veltrix.dll"), 9u);
    EXPECT_EQ(DirectoryPartLength(u"C:Veltrix.dll"), 2u);
    EXPECT_EQ(DirectoryPartLength(u"a/b\\c/d"), 6u);
    EXPECT_EQ(DirectoryPartLength(u"Veltrix.dll"), 0u);
}

TEST(ModulePaths, TypeLibraryFileReplacesFromTheLastDotOrIsAppended)
{
    struct Case { const char* pszPath; const char* pszExpected; };
    for (const Case& c : {Case{"C:\\bin\\Veltrix.dll", "C:\\bin\\Veltrix.tlb"},
                          Case{"C:\\bin.d\\Veltrix", "C:\\bin.tlb"},
                          Case{"C:\\bin\\Veltrix", "C:\\bin\\Veltrix.tlb"}}) {
        char szPath[64];
        strcpy(szPath, c.pszPath);
        ASSERT_TRUE(ReplaceWithTypeLibExtension(szPath, sizeof(szPath)));
        EXPECT_STREQ(szPath, c.pszExpected);
    }
    char szFull[8] = "abcdefg";
    EXPECT_FALSE(ReplaceWithTypeLibExtension(szFull, sizeof(szFull)));
    EXPECT_STREQ(szFull, "abcdefg");
}

TEST(ModulePaths, QuotesAreDoubledForTheScript)
{
    OLECHAR szOut[32];
    EXPECT_EQ(QuoteForScript(u"C:\\Band's", szOut, 32), 11u);
    EXPECT_EQ(std::u16string(szOut), u"C:\\Band''s");
    EXPECT_EQ(QuoteForScript(u"''", szOut, 4), 5u); // too small: nothing written but the size
}
