#include <gtest/gtest.h>

#include <string>

#include "TraceText.h"

namespace
{
std::string Format(const char* pszFormat, ...)
{
    char szText[kcbTraceText];
    va_list args;
    va_start(args, pszFormat);
    const size_t cch = FormatTraceText(szText, pszFormat, args);
    va_end(args);
    EXPECT_EQ(szText[cch], '\0');
    return std::string(szText, cch);
}
}

TEST(TraceText, CutsAt1023AndMapsOnlyTheSixLetters)
{
    EXPECT_EQ(Format("%s|%d%%", "100%", 7), "100%|7%");
    EXPECT_EQ(Format("%s", std::string(1022, 'a').c_str()).size(), 1022u);
    EXPECT_EQ(Format("%s", std::string(1023, 'b').c_str()), std::string(1023, 'b'));
    EXPECT_EQ(Format("%s!", std::string(5000, 'c').c_str()), std::string(1023, 'c'));

    std::string text;
    for (int ch = 1; ch < 256; ++ch)
        text += static_cast<char>(ch);
    MapToCodePage437(&text[0], text.size());
    for (int ch = 1; ch < 256; ++ch) {
        const unsigned char chMapped = static_cast<unsigned char>(text[ch - 1]);
        switch (ch) {
        case 0xC4:
            EXPECT_EQ(chMapped, 0x8E);
            break;
        case 0xC5:
            EXPECT_EQ(chMapped, 0x8F);
            break;
        case 0xD6:
            EXPECT_EQ(chMapped, 0x99);
            break;
        case 0xE4:
            EXPECT_EQ(chMapped, 0x84);
            break;
        case 0xE5:
            EXPECT_EQ(chMapped, 0x86);
            break;
        case 0xF6:
            EXPECT_EQ(chMapped, 0x94);
            break;
        default:
            EXPECT_EQ(chMapped, ch);
        }
    }
}
