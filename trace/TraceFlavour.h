#pragma once

// The two libraries trace through the same algorithm but own different sinks. Each library's
// build defines which flavour it compiles (add_trace_sources does); the flavour's header
// declares its sink settings and its source file defines the steps below.
#if defined(TRACE_FLAVOUR_VELTRIX)
#include "VeltrixTraceFlavour.h"
#elif defined(TRACE_FLAVOUR_QUILLON)
#include "QuillonTraceFlavour.h"
#else
#error "Define TRACE_FLAVOUR_VELTRIX or TRACE_FLAVOUR_QUILLON"
#endif

#include <cstddef>
#include <type_traits>

// The settings must be plain data that is zero, every sink off, without any code running at
// load: Veltrix runs no static constructors.
static_assert(std::is_trivially_default_constructible<TraceSettings>::value &&
                  std::is_standard_layout<TraceSettings>::value,
              "trace settings must be plain zero-initialised data");

// True when at least one sink that the first test of a call looks at is on.
bool TraceAnySinkOn(const TraceSettings& settings);

// Hands the text to the sinks that get it before the letters are mapped.
void TraceDeliverUnmapped(const TraceSettings& settings, const char* pszText, size_t cchText);

// True when this call's text is to be mapped to code page 437.
bool TraceMapsLetters(const TraceSettings& settings);

// Queues the text for another thread when queued delivery is on; false when the caller is to
// write it itself.
bool TraceQueueText(TraceSettings& settings, const char* pszText, size_t cchText);

// Writes the text to the library's sinks beyond console and standard output.
void TraceWriteToOwnSinks(const TraceSettings& settings, const char* pszText, size_t cchText);
