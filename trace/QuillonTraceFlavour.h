#pragma once

#include <windows.h>
#include <cstddef>

// Receives every formatted text, before the letters are mapped, with its length in bytes
// (no terminator).
typedef void (*PFN_TRACE_CALLBACK)(const char* pszText, size_t cchText);

constexpr size_t kcchTraceLogPathMax = 260;

// Quillon's sinks: console, standard output, a log file opened for each message, and a
// callback.
struct TraceSettings
{
    HANDLE hConsole;
    BOOL fStandardOutput;
    BOOL fLogFile;
    char szLogPath[kcchTraceLogPathMax + 1];
    PFN_TRACE_CALLBACK pfnCallback;
};
