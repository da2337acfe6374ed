#pragma once

#include <cstdarg>
#include <cstddef>

// A trace message is formatted into a buffer of this size; a longer message is cut to one
// character less, so that the terminator always fits.
constexpr size_t kcbTraceText = 1024;

// Formats the message with a bounded formatter and returns the length of the text, at most
// kcbTraceText - 1 characters.
size_t FormatTraceText(char (&szText)[kcbTraceText], const char* pszFormat, va_list args);

// Callers write the Swedish letters Ä Å Ö ä å ö as Windows-1252 bytes; a console shows code
// page 437, so these six bytes are rewritten in place. Every other byte stays.
void MapToCodePage437(char* pchText, size_t cchText);
