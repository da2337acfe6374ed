#pragma once

#include "ScriptPlatform.h"

// Path rules of registration, kept free of platform calls so they can be tested alone.

// Number of characters up to and including the last backslash, "/" or ":" of a UTF-16 path
// (0 when there is none): the directory part, used as the type library's help directory.
size_t DirectoryPartLength(const OLECHAR* pszPath);

// Turns a module path into the path of a type library file beside it: ".tlb" replaces
// everything from the last "." (which may lie in a directory name when the file name has
// none), or is appended when there is no "." at all. pszPath holds cchPath characters of
// room; false, with the path unchanged, when the result would not fit.
bool ReplaceWithTypeLibExtension(char* pszPath, size_t cchPath);

// Doubles every single quote, so that the path can stand inside a quoted script string.
// Returns the number of characters the result needs, terminator included; writes only when
// that fits in cchOut.
size_t QuoteForScript(const OLECHAR* pszText, OLECHAR* pszOut, size_t cchOut);
