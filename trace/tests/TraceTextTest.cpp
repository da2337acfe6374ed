#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "TraceText.h"

namespace
{
std::string Format(const char* pszFormat, ...)
{
    char szText[kcbTraceText];
    va_list args;
    va_start(args, pszFormat);
    size_t cch = FormatTraceText(szText, pszFormat, args);
    va_end(args);
    EXPECT_EQ(cch, std::string(szText).size());
    return szText;
}

TEST(FormatTraceText, FormatsLikePrintf)
{
    EXPECT_EQ(Format("moving: %i %i %x %s %.02f\n", -1, 20, 255, "band", 0.5), "moving: -1 20 ff band 0.50\n");
}

TEST(FormatTraceText, KeepsAtMost1023Characters)
{
    const std::string str1023(1023, 'a');
    EXPECT_EQ(Format("%s", str1023.c_str()), str1023);
    EXPECT_EQ(Format("%sb", str1023.c_str()), str1023);
    EXPECT_EQ(Format("%s%s", str1023.c_str(), str1023.c_str()), str1023);
}

TEST(MapToCodePage437, RewritesOnlyTheSixLetters)
{
    char szAll[256];
    for (int i = 0; i < 256; ++i)
        szAll[i] = static_cast<char>(i);
    MapToCodePage437(szAll, sizeof szAll);

    const std::pair<int, int> mapped[] = {{0xC4, 0x8E}, {0xC5, 0x8F}, {0xD6, 0x99}, {0xE4, 0x84}, {0xE5, 0x86}, {0xF6, 0x94}};
    for (int i = 0; i < 256; ++i) {
        int expected = i;
        for (const auto& m : mapped)
            if (m.first == i)
                expected = m.second;
        EXPECT_EQ(static_cast<unsigned char>(szAll[i]), expected) << "byte " << i;
    }
}
}
