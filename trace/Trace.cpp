#include "Trace.h"

#include <cstdarg>
#include <cstdio>

#include "TraceFlavour.h"
#include "TraceText.h"
#ifdef TRACE_TESTABLE
#include "TraceTesting.h"
#endif

namespace
{
// Zero at load, so every sink is off. Nothing in a delivered library writes it; only a test
// build of this code adds a way in.
TraceSettings s_settings;

void WriteToSinks(const char* pszText, size_t cchText)
{
    if (s_settings.hConsole) {
        DWORD cchWritten;
        WriteConsoleA(s_settings.hConsole, pszText, static_cast<DWORD>(cchText), &cchWritten, nullptr);
    }
    // Written as it stands: a "%" that came in through an argument is never a format again.
    if (s_settings.fStandardOutput)
        fwrite(pszText, 1, cchText, stdout);
    TraceWriteToOwnSinks(s_settings, pszText, cchText);
}
}

void Trace(const char* pszFormat, ...)
{
    if (!pszFormat || !TraceAnySinkOn(s_settings))
        return;
    char szText[kcbTraceText];
    va_list args;
    va_start(args, pszFormat);
    size_t cchText = FormatTraceText(szText, pszFormat, args);
    va_end(args);
    TraceDeliverUnmapped(s_settings, szText, cchText);
    if (TraceMapsLetters(s_settings))
        MapToCodePage437(szText, cchText);
    if (!TraceQueueText(s_settings, szText, cchText))
        WriteToSinks(szText, cchText);
}

#ifdef TRACE_TESTABLE
TraceSettings& TraceTestSettings()
{
    return s_settings;
}

void TraceTestWriteToSinks(const char* pszText, size_t cchText)
{
    WriteToSinks(pszText, cchText);
}
#endif
