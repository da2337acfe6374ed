#pragma once

#include <windows.h>
#include <cstddef>

#include "TraceTesting.h"

typedef void (*PFN_TRACE_WRITE)(const char* pszText, size_t cchText);

// Test builds of Veltrix's trace code only: turns queued delivery on and owns the thread that
// empties the pending list, handing each text in order to pfnWrite (TraceTestWriteToSinks
// writes it as an unqueued call would). Start sets up the list, the queue lock and the queue
// signal before any text can be queued; Stop turns queued delivery off, lets the thread write
// what is still pending, and releases the lock and the signal. Nothing may trace from another
// thread while it starts or stops.
class CTraceQueueConsumer
{
public:
    CTraceQueueConsumer() = default;
    ~CTraceQueueConsumer() { Stop(); }
    CTraceQueueConsumer(const CTraceQueueConsumer&) = delete;
    CTraceQueueConsumer& operator=(const CTraceQueueConsumer&) = delete;

    bool Start(PFN_TRACE_WRITE pfnWrite);
    void Stop();

private:
    static DWORD WINAPI ThreadProc(void* pvWrite);

    HANDLE m_hThread = nullptr;
};
