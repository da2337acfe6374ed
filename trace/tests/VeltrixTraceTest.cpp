#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CTraceQueueConsumer.h"
#include "Trace.h"
#include "TraceCapture.h"

extern std::atomic<long> g_cModuleAlloc;
extern std::atomic<long> g_cModuleFree;

namespace
{
class VeltrixTrace : public ::testing::Test
{
protected:
    void TearDown() override
    {
        m_consumer.Stop();
        if (m_pLog)
            fclose(m_pLog);
        TraceTestSettings() = TraceSettings{};
    }

    void OpenLogStream()
    {
        m_pLog = fopen(m_log.GetPath(), "w+b");
        ASSERT_NE(m_pLog, nullptr);
        TraceTestSettings().pLogStream = m_pLog;
    }

    std::string LogContent()
    {
        fflush(m_pLog);
        return m_log.Read();
    }

    CTempFile m_log{"veltrix-trace.log"};
    FILE* m_pLog = nullptr;
    CTraceQueueConsumer m_consumer;
};

TEST_F(VeltrixTrace, WithEverySinkOffNothingIsFormatted)
{
    testing::internal::CaptureStdout();
    // Formatting this argument would read through a wild pointer.
    Trace("%s", reinterpret_cast<const char*>(1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Every sink gets the same text: formatted once, cut at 1023 characters, the letters in
// code page 437, and arguments holding "%" printed as they are.
TEST_F(VeltrixTrace, SinksGetTheCutAndMappedText)
{
    CConsoleCapture console;
    TraceTestSettings().hConsole = console.GetHandle();
    TraceTestSettings().fStandardOutput = TRUE;
    OpenLogStream();
    const std::string strLong(1500, 'x');

    testing::internal::CaptureStdout();
    Trace("%s=%i [%s] ", kszLetters1252, 42, "100% %s %n");
    std::string strFirstOnConsole = console.Take();
    Trace("%s", strLong.c_str());
    std::string strStdout = testing::internal::GetCapturedStdout();

    const std::string strFirst = std::string(kszLetters437) + "=42 [100% %s %n] ";
    EXPECT_EQ(strFirstOnConsole, strFirst);
    EXPECT_EQ(console.Take(), strLong.substr(0, 1023));
    EXPECT_EQ(strStdout, strFirst + strLong.substr(0, 1023));
    EXPECT_EQ(LogContent(), strFirst + strLong.substr(0, 1023));
}

TEST_F(VeltrixTrace, QueuedTextsReachTheSinksInOrder)
{
    OpenLogStream();
    ASSERT_TRUE(m_consumer.Start(TraceTestWriteToSinks));
    long cAllocBefore = g_cModuleAlloc;
    std::string strExpected;
    for (int i = 0; i < 200; ++i) {
        Trace("%s %d\n", kszLetters1252, i);
        strExpected += std::string(kszLetters437) + " " + std::to_string(i) + "\n";
    }
    m_consumer.Stop();

    EXPECT_EQ(LogContent(), strExpected);
    EXPECT_EQ(g_cModuleAlloc - cAllocBefore, 200);
    EXPECT_EQ(g_cModuleAlloc, g_cModuleFree);
}

// A consumer that records texts and holds the first one until the test lets it go.
std::vector<std::string> g_vecDelivered;
std::mutex g_mutexDelivered;
HANDLE g_hReleaseConsumer;

void HoldingWrite(const char* pszText, size_t cchText)
{
    WaitForSingleObject(g_hReleaseConsumer, INFINITE);
    std::lock_guard<std::mutex> lock(g_mutexDelivered);
    g_vecDelivered.emplace_back(pszText, cchText);
}

TEST_F(VeltrixTrace, ProducerWaitsWhileMoreThanFiftyArePending)
{
    OpenLogStream();
    g_hReleaseConsumer = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(m_consumer.Start(HoldingWrite));
    std::atomic<int> cReturned{0};
    std::thread producer([&] {
        for (int i = 0; i < 60; ++i) {
            Trace("t%d", i);
            ++cReturned;
        }
    });

    // The consumer holds the first text, so none is written: calls return until 51 are
    // pending, and the 52nd waits.
    for (int i = 0; i < 1000 && cReturned < 51; ++i)
        Sleep(5);
    Sleep(200);
    EXPECT_EQ(cReturned, 51);
    EXPECT_EQ(TraceTestSettings().cPending, 51);

    SetEvent(g_hReleaseConsumer);
    producer.join();
    m_consumer.Stop();
    CloseHandle(g_hReleaseConsumer);

    ASSERT_EQ(g_vecDelivered.size(), 60u);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(g_vecDelivered[i], "t" + std::to_string(i));
    EXPECT_EQ(TraceTestSettings().cPending, 0);
}
}
