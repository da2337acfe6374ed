#pragma once

// Test builds of the trace code only: the delivered libraries have no way to turn a sink on.
#ifndef TRACE_TESTABLE
#error "TraceTesting.h belongs to the test build of the trace code"
#endif

#include <cstddef>

#include "TraceFlavour.h"

// The library's sink settings, for tests to turn sinks on and off.
TraceSettings& TraceTestSettings();

// Writes a text to the console, standard output and the library's own sinks, as a call of
// Trace does once the text is formatted and mapped.
void TraceTestWriteToSinks(const char* pszText, size_t cchText);
