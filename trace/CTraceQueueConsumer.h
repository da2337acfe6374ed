#pragma once

#include <windows.h>
#include <cstddef>

#include "TraceTesting.h"

typedef void (*PFN_TRACE_WRITE)(const char* pszText, size_t cchText);

// Test builds of Veltrix's trace code only: turns queued delivery on and runs the thread that
// empties the pending list. Start sets up the list, the queue lock and the queue signal
// before any text can be queued; Stop turns queued delivery off, lets the thread write what
// is still pending, and releases the lock and the signal. Only one consumer runs at a time,
// and nothing may trace from another thread while it starts or stops.
class CTraceQueueConsumer
{
public:
    CTraceQueueConsumer();
    ~CTraceQueueConsumer();

    // pfnWrite receives every queued text in order; TraceTestWriteToSinks writes them as an
    // unqueued call would.
    bool Start(PFN_TRACE_WRITE pfnWrite);
    void Stop();

private:
    CTraceQueueConsumer(const CTraceQueueConsumer&) = delete;
    CTraceQueueConsumer& operator=(const CTraceQueueConsumer&) = delete;

    static DWORD WINAPI ThreadProc(void* pvThis);
    void Run();
    TraceQueueEntry* TakeFirst();
    void ReleaseQueueObjects();

    PFN_TRACE_WRITE m_pfnWrite;
    HANDLE m_hThread;
    volatile LONG m_fStopping;
};
