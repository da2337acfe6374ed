#include "TraceCapture.h"

#include <fstream>
#include <iterator>

const char kszLetters1252[] = "\xC4\xC5\xD6\xE4\xE5\xF6";
const char kszLetters437[] = "\x8E\x8F\x99\x84\x86\x94";

// The test process may be attached to a console it cannot read back; it gets a fresh one.
CConsoleCapture::CConsoleCapture()
{
    FreeConsole();
    AllocConsole();
    m_hConsole = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    SetConsoleOutputCP(437);
    SetConsoleScreenBufferSize(m_hConsole, COORD{80, 200});
    SetConsoleCursorPosition(m_hConsole, COORD{0, 0});
}

CConsoleCapture::~CConsoleCapture()
{
    if (m_hConsole != INVALID_HANDLE_VALUE)
        CloseHandle(m_hConsole);
    FreeConsole();
}

std::string CConsoleCapture::Take()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(m_hConsole, &info))
        return "<no console>";
    DWORD cch = info.dwCursorPosition.Y * info.dwSize.X + info.dwCursorPosition.X;
    std::string strText(cch, '\0');
    DWORD cchRead = 0;
    ReadConsoleOutputCharacterA(m_hConsole, &strText[0], cch, COORD{0, 0}, &cchRead);
    strText.resize(cchRead);
    SetConsoleCursorPosition(m_hConsole, COORD{0, 0});
    return strText;
}

// CTest runs test processes side by side, so the name carries the process id.
CTempFile::CTempFile(const char* pszName)
{
    char szDir[MAX_PATH];
    GetTempPathA(MAX_PATH, szDir);
    m_strPath = std::string(szDir) + std::to_string(GetCurrentProcessId()) + "-" + pszName;
    DeleteFileA(m_strPath.c_str());
}

CTempFile::~CTempFile()
{
    DeleteFileA(m_strPath.c_str());
}

std::string CTempFile::Read() const
{
    std::ifstream file(m_strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void CTempFile::Write(const std::string& strContent) const
{
    std::ofstream(m_strPath, std::ios::binary) << strContent;
}
