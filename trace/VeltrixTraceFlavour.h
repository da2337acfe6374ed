#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdio>

// One queued text. The text and its terminator follow the entry in the same allocation.
struct TraceQueueEntry
{
    TraceQueueEntry* pNext;
    size_t cchText;
};

// Veltrix's sinks: console, standard output, an open log stream, and queued delivery to a
// thread of its own, which writes the texts to the first three.
struct TraceSettings
{
    HANDLE hConsole;
    BOOL fStandardOutput;
    FILE* pLogStream;
    BOOL fQueuedDelivery;
    HANDLE hQueueLock;              // mutex guarding the pending list
    HANDLE hQueueSignal;            // event set after each queued text
    volatile LONG cPending;         // queued and not yet written; changed atomically
    TraceQueueEntry* pPendingFirst; // oldest text
    TraceQueueEntry* pPendingLast;  // newest text
};

// A producer waits while more texts than this are pending, so a slow consumer cannot make
// the queue grow without bound.
constexpr LONG kcTracePendingMax = 50;

inline char* TraceEntryText(TraceQueueEntry* pEntry)
{
    return reinterpret_cast<char*>(pEntry + 1);
}
