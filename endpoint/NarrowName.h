#pragma once

#include <windows.h>

// The longest name compared, in characters; a buffer for NarrowName holds one more.
const int kcchNameMax = 255;

// Turns UTF-16 text into 8-bit text by keeping the low byte of each unit (no code page:
// U+0000 to U+00FF map to themselves), at most kcchNameMax of them plus a terminator.
void NarrowName(LPCWSTR pwszText, char* pszBuffer);
