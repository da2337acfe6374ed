#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "ModuleMemory.h"
#include "CTraceQueueConsumer.h"
#include "Trace.h"
#include "TraceCapture.h"

// The module allocator for a test program that links the trace code without the rest of the
// library. It counts, so that the tests can tell every queued copy came from it and went back.
std::atomic<long> g_cModuleAlloc, g_cModuleFree;
void* ModuleAlloc(size_t cb)
{
    ++g_cModuleAlloc;
    return malloc(cb);
}
void ModuleFree(void* pv)
{
    g_cModuleFree += pv != nullptr;
    free(pv);
}

namespace
{
// Every sink gets the same text: formatted once, cut at 1023 characters, the six letters in
// code page 437 and every other byte as it came, and an argument's "%" printed as it is.
TEST(VeltrixTrace, SinksGetTheCutAndMappedText)
{
    CTempFile log("veltrix-trace.log");
    std::unique_ptr<FILE, int (*)(FILE*)> pLog(fopen(log.m_strPath.c_str(), "w+b"), fclose);
    CSinksOff sinksOff;
    TraceSettings& settings = TraceTestSettings();
    Trace("%s", reinterpret_cast<const char*>(1)); // every sink is off, so this is never formatted
    std::string strBytes;
    for (int b = 1; b < 256; ++b)
        strBytes += static_cast<char>(b);
    settings.pLogStream = pLog.get();
    Trace("%s", strBytes.c_str());

    CConsoleCapture console;
    settings.hConsole = console.m_hConsole;
    settings.fStandardOutput = TRUE;
    testing::internal::CaptureStdout();
    Trace("%s=%i [%s] ", kszLetters1252, 42, "100% %s %n");
    Trace("%s", std::string(1500, 'x').c_str());
    const std::string strStdout = testing::internal::GetCapturedStdout();

    const std::string strText = kszLetters437 + std::string("=42 [100% %s %n] ") + std::string(1023, 'x');
    EXPECT_EQ(console.Read(), strText);
    EXPECT_EQ(strStdout, strText);
    for (int i = 0; i < 6; ++i)
        strBytes[static_cast<unsigned char>(kszLetters1252[i]) - 1] = kszLetters437[i];
    fflush(pLog.get());
    EXPECT_EQ(log.Read(), strBytes + strText);
}

HANDLE g_hReleaseConsumer;

void WriteWhenReleased(const char* pszText, size_t cchText)
{
    WaitForSingleObject(g_hReleaseConsumer, INFINITE);
    TraceTestWriteToSinks(pszText, cchText);
}

// The consumer holds the first text until the test lets it go, so none is written: calls
// return until 51 are pending and the 52nd waits. Then every text arrives, in order.
TEST(VeltrixTrace, QueuedTextsArriveInOrderAndProducersWaitBeyondFiftyPending)
{
    CTempFile log("veltrix-queue.log");
    std::unique_ptr<FILE, int (*)(FILE*)> pLog(fopen(log.m_strPath.c_str(), "w+b"), fclose);
    CSinksOff sinksOff;
    CTraceQueueConsumer consumer;
    TraceTestSettings().pLogStream = pLog.get();
    g_hReleaseConsumer = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(consumer.Start(WriteWhenReleased));
    const long cAllocBefore = g_cModuleAlloc;
    std::atomic<int> cReturned{0};
    std::thread producer([&] {
        for (int i = 0; i < 60; ++i, ++cReturned)
            Trace("%s%d ", kszLetters1252, i);
    });
    for (int i = 0; i < 1000 && cReturned < 51; ++i)
        Sleep(5);
    Sleep(200);
    EXPECT_EQ(cReturned, 51);
    EXPECT_EQ(TraceTestSettings().cPending, 51);

    SetEvent(g_hReleaseConsumer);
    producer.join();
    consumer.Stop();
    CloseHandle(g_hReleaseConsumer);
    std::string strExpected;
    for (int i = 0; i < 60; ++i)
        strExpected += kszLetters437 + std::to_string(i) + " ";
    fflush(pLog.get());
    EXPECT_EQ(log.Read(), strExpected);
    EXPECT_EQ(TraceTestSettings().cPending, 0);
    EXPECT_EQ(g_cModuleAlloc - cAllocBefore, 60);
    EXPECT_EQ(g_cModuleAlloc, g_cModuleFree);
}
}
