#include "NarrowName.h"

void NarrowName(LPCWSTR pwszText, char* pszBuffer)
{
    int cch = 0;
    while (cch < kcchNameMax && pwszText[cch] != L'\0') {
        pszBuffer[cch] = static_cast<char>(pwszText[cch] & 0xFF);
        ++cch;
    }
    pszBuffer[cch] = '\0';
}
