#include "CTraceQueueConsumer.h"

#include "ModuleMemory.h"

namespace
{
TraceQueueEntry* TakeFirst(TraceSettings& settings)
{
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

void CloseQueueObjects(TraceSettings& settings)
{
    settings.fQueuedDelivery = FALSE;
    if (settings.hQueueLock)
        CloseHandle(settings.hQueueLock);
    if (settings.hQueueSignal)
        CloseHandle(settings.hQueueSignal);
    settings.hQueueLock = nullptr;
    settings.hQueueSignal = nullptr;
}
}

// Queued delivery is on before the thread starts; the thread sleeps until a text or Stop
// sets the signal, so it cannot see it off before Stop.
bool CTraceQueueConsumer::Start(PFN_TRACE_WRITE pfnWrite)
{
    if (m_hThread)
        return false;
    TraceSettings& settings = TraceTestSettings();
    settings.pPendingFirst = settings.pPendingLast = nullptr;
    settings.cPending = 0;
    settings.hQueueLock = CreateMutexA(nullptr, FALSE, nullptr);
    settings.hQueueSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    settings.fQueuedDelivery = TRUE;
    if (settings.hQueueLock && settings.hQueueSignal)
        m_hThread = CreateThread(nullptr, 0, ThreadProc, reinterpret_cast<void*>(pfnWrite), 0, nullptr);
    if (!m_hThread)
        CloseQueueObjects(settings);
    return m_hThread != nullptr;
}

void CTraceQueueConsumer::Stop()
{
    if (!m_hThread)
        return;
    TraceSettings& settings = TraceTestSettings();
    settings.fQueuedDelivery = FALSE;
    SetEvent(settings.hQueueSignal);
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    CloseQueueObjects(settings);
}

// Delivery being off is read before the list is emptied, so every text queued before Stop
// is written before the thread ends.
DWORD WINAPI CTraceQueueConsumer::ThreadProc(void* pvWrite)
{
    PFN_TRACE_WRITE pfnWrite = reinterpret_cast<PFN_TRACE_WRITE>(pvWrite);
    TraceSettings& settings = TraceTestSettings();
    for (bool fStopping = false; !fStopping;) {
        WaitForSingleObject(settings.hQueueSignal, INFINITE);
        fStopping = !settings.fQueuedDelivery;
        while (TraceQueueEntry* pEntry = TakeFirst(settings)) {
            pfnWrite(TraceEntryText(pEntry), pEntry->cchText);
            ModuleFree(pEntry);
            InterlockedDecrement(&settings.cPending);
        }
    }
    return 0;
}
