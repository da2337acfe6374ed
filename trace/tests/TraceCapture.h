#pragma once

#include <windows.h>
#include <string>

// A console of the test's own whose screen is read back with the console's code page set to
// 437, so the bytes read are the bytes the trace code wrote.
class CConsoleCapture
{
public:
    CConsoleCapture();
    ~CConsoleCapture();

    HANDLE GetHandle() const { return m_hConsole; }
    // Everything written since the last call, as bytes.
    std::string Take();

private:
    CConsoleCapture(const CConsoleCapture&) = delete;
    CConsoleCapture& operator=(const CConsoleCapture&) = delete;

    HANDLE m_hConsole;
};

// A file in the temporary folder, deleted when the holder goes.
class CTempFile
{
public:
    explicit CTempFile(const char* pszName);
    ~CTempFile();

    const char* GetPath() const { return m_strPath.c_str(); }
    std::string Read() const;
    void Write(const std::string& strContent) const;

private:
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    std::string m_strPath;
};

// The six Swedish letters as callers write them (Windows-1252) and as a console shows them
// (code page 437).
extern const char kszLetters1252[];
extern const char kszLetters437[];
