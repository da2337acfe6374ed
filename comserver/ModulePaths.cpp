#include "ModulePaths.h"

#include <cstring>

#include "CCodePage.h"

size_t DirectoryPartLength(const OLECHAR* pszPath)
{
    size_t cchDirectory = 0;
    for (size_t i = 0; pszPath[i] != u'\0'; ++i) {
        if (pszPath[i] == u'\\' || pszPath[i] == u'/' || pszPath[i] == u':')
            cchDirectory = i + 1;
    }
    return cchDirectory;
}

bool ReplaceWithTypeLibExtension(char* pszPath, size_t cchPath)
{
    static const char kExtension[] = ".tlb";
    char* pchDot = nullptr;
    char* pch = pszPath;
    // Stepped by whole characters: the trail byte of a double-byte character is no ".".
    for (; *pch != '\0'; pch += CCodePage::CharLength(pch)) {
        if (*pch == '.')
            pchDot = pch;
    }
    char* pchExtension = pchDot ? pchDot : pch;
    if (static_cast<size_t>(pchExtension - pszPath) + sizeof(kExtension) > cchPath)
        return false;
    memcpy(pchExtension, kExtension, sizeof(kExtension));
    return true;
}

size_t QuoteForScript(const OLECHAR* pszText, OLECHAR* pszOut, size_t cchOut)
{
    size_t cchNeeded = 1;
    for (const OLECHAR* pch = pszText; *pch != u'\0'; ++pch)
        cchNeeded += *pch == u'\'' ? 2 : 1;
    if (cchNeeded > cchOut)
        return cchNeeded;
    for (const OLECHAR* pch = pszText; *pch != u'\0'; ++pch) {
        *pszOut++ = *pch;
        if (*pch == u'\'')
            *pszOut++ = u'\'';
    }
    *pszOut = u'\0';
    return cchNeeded;
}
