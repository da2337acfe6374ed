#include "TraceFlavour.h"

#include <cstring>

#include "ModuleMemory.h"

namespace
{
// The copy that waits in the queue, allocated from the module allocator like every other
// allocation of the library; the consumer frees it with ModuleFree.
TraceQueueEntry* NewQueueEntry(const char* pszText, size_t cchText)
{
    TraceQueueEntry* pEntry = static_cast<TraceQueueEntry*>(ModuleAlloc(sizeof(TraceQueueEntry) + cchText + 1));
    if (!pEntry)
        return nullptr;
    pEntry->pNext = nullptr;
    pEntry->cchText = cchText;
    memcpy(TraceEntryText(pEntry), pszText, cchText + 1);
    return pEntry;
}

void AppendPending(TraceSettings& settings, TraceQueueEntry* pEntry)
{
    WaitForSingleObject(settings.hQueueLock, INFINITE);
    if (settings.pPendingLast)
        settings.pPendingLast->pNext = pEntry;
    else
        settings.pPendingFirst = pEntry;
    settings.pPendingLast = pEntry;
    ReleaseMutex(settings.hQueueLock);
}
}

bool TraceAnySinkOn(const TraceSettings& settings)
{
    return settings.hConsole || settings.fStandardOutput || settings.pLogStream;
}

void TraceDeliverUnmapped(const TraceSettings&, const char*, size_t) {}

bool TraceMapsLetters(const TraceSettings&)
{
    return true;
}

bool TraceQueueText(TraceSettings& settings, const char* pszText, size_t cchText)
{
    if (!settings.fQueuedDelivery)
        return false;
    while (settings.cPending > kcTracePendingMax)
        Sleep(10);
    // Without memory the text is dropped: a diagnostic line never fails its caller.
    TraceQueueEntry* pEntry = NewQueueEntry(pszText, cchText);
    if (!pEntry)
        return true;
    AppendPending(settings, pEntry);
    InterlockedIncrement(&settings.cPending);
    SetEvent(settings.hQueueSignal);
    return true;
}

void TraceWriteToOwnSinks(const TraceSettings& settings, const char* pszText, size_t cchText)
{
    if (settings.pLogStream)
        fwrite(pszText, 1, cchText, settings.pLogStream);
}
