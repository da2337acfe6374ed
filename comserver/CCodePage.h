#pragma once

#include "ScriptPlatform.h"

// The 8-bit code page that registry scripts are written in: the system's ANSI code page on
// Windows. Text is stepped through by whole characters so that the trail byte of a
// double-byte character is never taken for a character of its own ("%", "'" or "\" among
// them). The host build has a single-byte default and a double-byte table that tests select.
class CCodePage
{
public:
    // No code page has a lead byte below 0x80, which spares ASCII text the lookup.
    static bool IsLeadByte(char ch) { return static_cast<unsigned char>(ch) >= 0x80 && IsHighLeadByte(ch); }
    // Bytes of the character at pch (1 or 2) in NUL-terminated text, or in text ending at pchEnd.
    static size_t CharLength(const char* pch) { return IsLeadByte(pch[0]) && pch[1] != '\0' ? 2 : 1; }
    static size_t CharLength(const char* pch, const char* pchEnd)
    {
        return IsLeadByte(pch[0]) && pch + 1 < pchEnd ? 2 : 1;
    }
    // Compares character by character, folding only the ASCII letters.
    static bool EqualNoCase(const char* psz1, const char* psz2);

    // UTF-16 to 8-bit into a buffer of cb bytes; gives the bytes written with the NUL, or 0
    // when the text does not fit.
    static size_t ToMultiByte(const OLECHAR* pwz, char* psz, size_t cb);
    // Newly allocated conversions (ModuleFree them); null when memory runs out.
    static char* DupMultiByte(const OLECHAR* pwz);
    static OLECHAR* DupWide(const char* psz);

#ifndef _WIN32
    static void UseDoubleByteTable(bool fDoubleByte);
#endif

private:
    static bool IsHighLeadByte(char ch);
};
