#include "CTraceQueueConsumer.h"

#include "CServerModule.h"

CTraceQueueConsumer::CTraceQueueConsumer() : m_pfnWrite(nullptr), m_hThread(nullptr), m_fStopping(FALSE)
{
}

CTraceQueueConsumer::~CTraceQueueConsumer()
{
    Stop();
}

bool CTraceQueueConsumer::Start(PFN_TRACE_WRITE pfnWrite)
{
    if (m_hThread)
        return false;
    TraceSettings& settings = TraceTestSettings();
    settings.pPendingFirst = nullptr;
    settings.pPendingLast = nullptr;
    settings.cPending = 0;
    settings.hQueueLock = CreateMutexA(nullptr, FALSE, nullptr);
    settings.hQueueSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_pfnWrite = pfnWrite;
    m_fStopping = FALSE;
    if (settings.hQueueLock && settings.hQueueSignal)
        m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    if (!m_hThread) {
        ReleaseQueueObjects();
        return false;
    }
    settings.fQueuedDelivery = TRUE;
    return true;
}

void CTraceQueueConsumer::Stop()
{
    if (!m_hThread)
        return;
    TraceSettings& settings = TraceTestSettings();
    settings.fQueuedDelivery = FALSE;
    InterlockedExchange(&m_fStopping, TRUE);
    SetEvent(settings.hQueueSignal);
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    ReleaseQueueObjects();
}

DWORD WINAPI CTraceQueueConsumer::ThreadProc(void* pvThis)
{
    static_cast<CTraceQueueConsumer*>(pvThis)->Run();
    return 0;
}

// The stop request is read before the list is emptied, so every text queued before Stop is
// written before the thread ends.
void CTraceQueueConsumer::Run()
{
    TraceSettings& settings = TraceTestSettings();
    for (;;) {
        WaitForSingleObject(settings.hQueueSignal, INFINITE);
        bool fStopping = InterlockedCompareExchange(&m_fStopping, FALSE, FALSE) != FALSE;
        while (TraceQueueEntry* pEntry = TakeFirst()) {
            m_pfnWrite(TraceEntryText(pEntry), pEntry->cchText);
            ModuleFree(pEntry);
            InterlockedDecrement(&settings.cPending);
        }
        if (fStopping)
            return;
    }
}

TraceQueueEntry* CTraceQueueConsumer::TakeFirst()
{
    TraceSettings& settings = TraceTestSettings();
    WaitForSingleObject(settings.hQueueLock, INFINITE);
    TraceQueueEntry* pEntry = settings.pPendingFirst;
    if (pEntry) {
        settings.pPendingFirst = pEntry->pNext;
        if (!settings.pPendingFirst)
            settings.pPendingLast = nullptr;
    }
    ReleaseMutex(settings.hQueueLock);
    return pEntry;
}

void CTraceQueueConsumer::ReleaseQueueObjects()
{
    TraceSettings& settings = TraceTestSettings();
    if (settings.hQueueLock)
        CloseHandle(settings.hQueueLock);
    if (settings.hQueueSignal)
        CloseHandle(settings.hQueueSignal);
    settings.hQueueLock = nullptr;
    settings.hQueueSignal = nullptr;
}
