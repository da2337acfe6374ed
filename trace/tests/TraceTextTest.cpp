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

// Under the sanitizers: the text is cut at 1023 characters and always terminated. (The letter
// mapping is checked where it matters, at the sinks.)
TEST(TraceText, CutsAt1023)
{
    EXPECT_EQ(Format("%s|%d%%", "100%", 7), "100%|7%");
    EXPECT_EQ(Format("%s", std::string(1022, 'a').c_str()).size(), 1022u);
    EXPECT_EQ(Format("%s", std::string(1023, 'b').c_str()), std::string(1023, 'b'));
    EXPECT_EQ(Format("%s!", std::string(5000, 'c').c_str()), std::string(1023, 'c'));
}
