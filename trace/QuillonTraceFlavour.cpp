#include "TraceFlavour.h"

#include <cstdio>

namespace
{
// The file is opened and closed around every message, so each line is on disk at once and
// nothing stays open between calls.
void AppendToLogFile(const char* pszPath, const char* pszText, size_t cchText)
{
    FILE* pFile = fopen(pszPath, "at+");
    if (!pFile)
        return;
    fwrite(pszText, 1, cchText, pFile);
    fclose(pFile);
}
}

bool TraceAnySinkOn(const TraceSettings& settings)
{
    return settings.hConsole || settings.fStandardOutput || settings.fLogFile || settings.pfnCallback;
}

void TraceDeliverUnmapped(const TraceSettings& settings, const char* pszText, size_t cchText)
{
    if (settings.pfnCallback)
        settings.pfnCallback(pszText, cchText);
    if (settings.fLogFile)
        AppendToLogFile(settings.szLogPath, pszText, cchText);
}

// Only the console and standard output show code page 437.
bool TraceMapsLetters(const TraceSettings& settings)
{
    return settings.hConsole || settings.fStandardOutput;
}

bool TraceQueueText(TraceSettings&, const char*, size_t)
{
    return false;
}

void TraceWriteToOwnSinks(const TraceSettings&, const char*, size_t) {}
