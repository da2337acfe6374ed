#include "TraceText.h"

#include <cstdio>
#include <cstring>

size_t FormatTraceText(char (&szText)[kcbTraceText], const char* pszFormat, va_list args)
{
#ifdef _WIN32
    // The system runtime's formatter: MinGW's own portable one would bring its number
    // conversion code into each library, a good share of Veltrix's size.
    _vsnprintf(szText, kcbTraceText, pszFormat, args);
#else
    vsnprintf(szText, kcbTraceText, pszFormat, args);
#endif
    // The system runtime's bounded formatter leaves a cut text unterminated; the last byte
    // is cleared so the text ends at the buffer whatever the formatter did.
    szText[kcbTraceText - 1] = '\0';
    return strlen(szText);
}

namespace
{
unsigned char CodePage437Byte(unsigned char b)
{
    switch (b) {
    case 0xC4:
        return 0x8E; // Ä
    case 0xC5:
        return 0x8F; // Å
    case 0xD6:
        return 0x99; // Ö
    case 0xE4:
        return 0x84; // ä
    case 0xE5:
        return 0x86; // å
    case 0xF6:
        return 0x94; // ö
    default:
        return b;
    }
}
}

void MapToCodePage437(char* pchText, size_t cchText)
{
    for (size_t i = 0; i < cchText; ++i)
        pchText[i] = static_cast<char>(CodePage437Byte(static_cast<unsigned char>(pchText[i])));
}
