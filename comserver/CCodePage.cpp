#include "CCodePage.h"

#include <cstring>

#include "CModuleMemory.h"

namespace
{
char FoldAscii(char ch)
{
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}
}

bool CCodePage::EqualNoCase(const char* psz1, const char* psz2)
{
    for (;;) {
        size_t cch = CharLength(psz1);
        if (cch != CharLength(psz2))
            return false;
        if (cch == 2) {
            if (psz1[0] != psz2[0] || psz1[1] != psz2[1])
                return false;
        } else {
            if (FoldAscii(*psz1) != FoldAscii(*psz2))
                return false;
            if (*psz1 == '\0')
                return true;
        }
        psz1 += cch;
        psz2 += cch;
    }
}

#ifdef _WIN32

bool CCodePage::IsHighLeadByte(char ch)
{
    return IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(ch)) != FALSE;
}

size_t CCodePage::ToMultiByte(const OLECHAR* pwz, char* psz, size_t cb)
{
    int cbWritten = WideCharToMultiByte(CP_ACP, 0, pwz, -1, psz, static_cast<int>(cb), nullptr, nullptr);
    return cbWritten > 0 ? static_cast<size_t>(cbWritten) : 0;
}

char* CCodePage::DupMultiByte(const OLECHAR* pwz)
{
    int cb = WideCharToMultiByte(CP_ACP, 0, pwz, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return nullptr;
    CModuleMemory<char> psz(static_cast<char*>(ModuleAlloc(static_cast<size_t>(cb))));
    if (!psz.Get() || WideCharToMultiByte(CP_ACP, 0, pwz, -1, psz.Get(), cb, nullptr, nullptr) != cb)
        return nullptr;
    return psz.Detach();
}

OLECHAR* CCodePage::DupWide(const char* psz)
{
    int cch = MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (cch <= 0)
        return nullptr;
    CModuleMemory<OLECHAR> pwz(static_cast<OLECHAR*>(ModuleAlloc(static_cast<size_t>(cch) * sizeof(OLECHAR))));
    if (!pwz.Get() || MultiByteToWideChar(CP_ACP, 0, psz, -1, pwz.Get(), cch) != cch)
        return nullptr;
    return pwz.Detach();
}

#else

// Host tables. Single-byte: each byte is the code point of the same value. Double-byte:
// 0x81-0xFE lead a two-byte character whose code point is lead * 256 + trail, any non-NUL
// byte may trail, and the other bytes stand for themselves.
namespace
{
bool g_fDoubleByte = false;

bool IsHostLead(unsigned ch)
{
    return g_fDoubleByte && ch >= 0x81 && ch <= 0xFE;
}

// The bytes of one UTF-16 unit in the host table; '?' where it has none.
size_t EncodeUnit(OLECHAR wch, char* pch)
{
    unsigned u = wch;
    if (u <= 0xFF && !IsHostLead(u)) {
        pch[0] = static_cast<char>(u);
        return 1;
    }
    if (IsHostLead(u >> 8) && (u & 0xFF) != 0) {
        pch[0] = static_cast<char>(u >> 8);
        pch[1] = static_cast<char>(u & 0xFF);
        return 2;
    }
    pch[0] = '?';
    return 1;
}
}

void CCodePage::UseDoubleByteTable(bool fDoubleByte)
{
    g_fDoubleByte = fDoubleByte;
}

bool CCodePage::IsHighLeadByte(char ch)
{
    return IsHostLead(static_cast<unsigned char>(ch));
}

size_t CCodePage::ToMultiByte(const OLECHAR* pwz, char* psz, size_t cb)
{
    size_t cbWritten = 0;
    for (; *pwz; ++pwz) {
        char ach[2];
        size_t cch = EncodeUnit(*pwz, ach);
        if (cbWritten + cch >= cb)
            return 0;
        std::memcpy(psz + cbWritten, ach, cch);
        cbWritten += cch;
    }
    if (cbWritten >= cb)
        return 0;
    psz[cbWritten] = '\0';
    return cbWritten + 1;
}

char* CCodePage::DupMultiByte(const OLECHAR* pwz)
{
    size_t cch = 0;
    while (pwz[cch])
        ++cch;
    size_t cb = 2 * cch + 1;
    CModuleMemory<char> psz(static_cast<char*>(ModuleAlloc(cb)));
    if (!psz.Get() || !ToMultiByte(pwz, psz.Get(), cb))
        return nullptr;
    return psz.Detach();
}

OLECHAR* CCodePage::DupWide(const char* psz)
{
    CModuleMemory<OLECHAR> pwz(static_cast<OLECHAR*>(ModuleAlloc((std::strlen(psz) + 1) * sizeof(OLECHAR))));
    if (!pwz.Get())
        return nullptr;
    OLECHAR* pwch = pwz.Get();
    for (; *psz; psz += CharLength(psz)) {
        unsigned char chLead = static_cast<unsigned char>(psz[0]);
        if (CharLength(psz) == 2)
            *pwch++ = static_cast<OLECHAR>(chLead << 8 | static_cast<unsigned char>(psz[1]));
        else
            *pwch++ = IsLeadByte(psz[0]) ? u'\xFFFD' : static_cast<OLECHAR>(chLead);
    }
    *pwch = u'\0';
    return pwz.Detach();
}

#endif
