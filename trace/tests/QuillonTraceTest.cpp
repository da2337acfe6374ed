#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "Trace.h"
#include "TraceCapture.h"
#include "TraceTesting.h"

namespace
{
struct CallbackCall
{
    std::string strText;
    size_t cchText;
};
std::vector<CallbackCall> g_vecCalls;

void RecordingCallback(const char* pszText, size_t cchText)
{
    g_vecCalls.push_back({pszText, cchText});
}

class QuillonTrace : public ::testing::Test
{
protected:
    void SetUp() override { g_vecCalls.clear(); }
    void TearDown() override { TraceTestSettings() = TraceSettings{}; }

    void TurnOnLogFile()
    {
        TraceTestSettings().fLogFile = TRUE;
        strcpy(TraceTestSettings().szLogPath, m_log.GetPath());
    }

    CTempFile m_log{"quillon-trace.log"};
};

TEST_F(QuillonTrace, WithEverySinkOffNothingIsFormatted)
{
    testing::internal::CaptureStdout();
    // Formatting this argument would read through a wild pointer.
    Trace("%s", reinterpret_cast<const char*>(1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(m_log.Read(), "");
}

// The callback and the log file get the text before the letters are mapped; the log file is
// appended to, never overwritten, in text mode.
TEST_F(QuillonTrace, CallbackAndLogFileGetTheUnmappedText)
{
    TraceTestSettings().pfnCallback = RecordingCallback;
    TurnOnLogFile();
    m_log.Write("earlier\r\n");
    const std::string strLong(1030, 'q');

    Trace("%s %s\n", kszLetters1252, "50% %d");
    Trace("%s", strLong.c_str());

    const std::string strFirst = std::string(kszLetters1252) + " 50% %d\n";
    ASSERT_EQ(g_vecCalls.size(), 2u);
    EXPECT_EQ(g_vecCalls[0].strText, strFirst);
    EXPECT_EQ(g_vecCalls[0].cchText, strFirst.size());
    EXPECT_EQ(g_vecCalls[1].strText, strLong.substr(0, 1023));
    EXPECT_EQ(g_vecCalls[1].cchText, 1023u);
    EXPECT_EQ(m_log.Read(), "earlier\r\n" + std::string(kszLetters1252) + " 50% %d\r\n" + strLong.substr(0, 1023));
}

// In one call, console and standard output see code page 437 while the callback still sees
// the caller's bytes.
TEST_F(QuillonTrace, ConsoleAndStandardOutputGetTheMappedText)
{
    CConsoleCapture console;
    TraceTestSettings().hConsole = console.GetHandle();
    TraceTestSettings().fStandardOutput = TRUE;
    TraceTestSettings().pfnCallback = RecordingCallback;
    const std::string strLong(1024, 'z');

    testing::internal::CaptureStdout();
    Trace("[%s] %s", kszLetters1252, "%%s");
    std::string strFirstOnConsole = console.Take();
    Trace("%s", strLong.c_str());
    std::string strStdout = testing::internal::GetCapturedStdout();

    const std::string strFirst = std::string("[") + kszLetters437 + "] %%s";
    EXPECT_EQ(strFirstOnConsole, strFirst);
    EXPECT_EQ(console.Take(), strLong.substr(0, 1023));
    EXPECT_EQ(strStdout, strFirst + strLong.substr(0, 1023));
    ASSERT_EQ(g_vecCalls.size(), 2u);
    EXPECT_EQ(g_vecCalls[0].strText, std::string("[") + kszLetters1252 + "] %%s");
}
}
