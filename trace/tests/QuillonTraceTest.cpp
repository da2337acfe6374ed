#include <gtest/gtest.h>

#include <cstring>

#include "Trace.h"
#include "TraceCapture.h"

namespace
{
std::string g_strCallback;

void RecordCallback(const char* pszText, size_t cchText)
{
    g_strCallback += std::string(pszText, cchText) + "|";
}

// In one call the callback and the log file get the caller's bytes while console and standard
// output get code page 437. Every sink gets at most 1023 characters and an argument's "%" as
// it is; the callback's length leaves out the terminator; the log file is appended to, in
// text mode.
TEST(QuillonTrace, SinksGetTheCutTextMappedOnlyForConsoleAndStandardOutput)
{
    CTempFile log("quillon-trace.log");
    std::ofstream(log.m_strPath, std::ios::binary) << "earlier\r\n";
    CSinksOff sinksOff;
    TraceSettings& settings = TraceTestSettings();
    Trace("%s", reinterpret_cast<const char*>(1)); // every sink is off, so this is never formatted

    CConsoleCapture console;
    settings.hConsole = console.m_hConsole;
    settings.fStandardOutput = TRUE;
    settings.pfnCallback = RecordCallback;
    settings.fLogFile = TRUE;
    strcpy(settings.szLogPath, log.m_strPath.c_str());
    testing::internal::CaptureStdout();
    Trace("[%s] %s", kszLetters1252, "50% %d");
    Trace("%s", std::string(1030, 'q').c_str());
    const std::string strStdout = testing::internal::GetCapturedStdout();
    settings.hConsole = nullptr;
    settings.fStandardOutput = FALSE;
    Trace("end\n");

    const std::string strCut(1023, 'q');
    EXPECT_EQ(console.Read(), "[" + std::string(kszLetters437) + "] 50% %d" + strCut);
    EXPECT_EQ(strStdout, "[" + std::string(kszLetters437) + "] 50% %d" + strCut);
    const std::string strFirst = "[" + std::string(kszLetters1252) + "] 50% %d";
    EXPECT_EQ(g_strCallback, strFirst + "|" + strCut + "|end\n|");
    EXPECT_EQ(log.Read(), "earlier\r\n" + strFirst + strCut + "end\r\n");
}
}
