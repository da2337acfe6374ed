#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "TraceTesting.h"

// The six Swedish letters as callers write them (Windows-1252) and as a console shows them
// (code page 437).
const char kszLetters1252[] = "\xC4\xC5\xD6\xE4\xE5\xF6";
const char kszLetters437[] = "\x8E\x8F\x99\x84\x86\x94";

// Turns every sink off again when a test ends, however it ends.
struct CSinksOff
{
    ~CSinksOff() { TraceTestSettings() = TraceSettings{}; }
};

// A fresh console of the test's own (the process may be attached to one it cannot read
// back), in code page 437 both ways, so the bytes read are the bytes the trace code wrote.
struct CConsoleCapture
{
    CConsoleCapture()
    {
        FreeConsole();
        AllocConsole();
        SetConsoleOutputCP(437);
        m_hConsole = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        SetConsoleScreenBufferSize(m_hConsole, COORD{80, 200});
    }
    ~CConsoleCapture()
    {
        CloseHandle(m_hConsole);
        FreeConsole();
    }

    // Everything written so far; the texts must hold no line break.
    std::string Read() const
    {
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        GetConsoleScreenBufferInfo(m_hConsole, &info);
        std::string strText(info.dwCursorPosition.Y * info.dwSize.X + info.dwCursorPosition.X, '\0');
        DWORD cchRead = 0;
        ReadConsoleOutputCharacterA(m_hConsole, &strText[0], static_cast<DWORD>(strText.size()), COORD{0, 0}, &cchRead);
        return strText.substr(0, cchRead);
    }

    HANDLE m_hConsole;
};

// A file in the temporary folder, named per process since CTest runs test processes side by
// side, and deleted when the holder goes.
struct CTempFile
{
    explicit CTempFile(const char* pszName)
    {
        char szDir[MAX_PATH];
        GetTempPathA(MAX_PATH, szDir);
        m_strPath = szDir + std::to_string(GetCurrentProcessId()) + "-" + pszName;
        DeleteFileA(m_strPath.c_str());
    }
    ~CTempFile() { DeleteFileA(m_strPath.c_str()); }

    std::string Read() const
    {
        std::ifstream file(m_strPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::string m_strPath;
};
