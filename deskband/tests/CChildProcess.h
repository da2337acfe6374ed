#pragma once

#include <windows.h>

#include <string>

#include "TestHostCommands.h"

// A helper program of this program's folder, or of the path given, run as a second process.
// When this goes, the program gets 10 s to finish (ask it to first) and is then ended.
class CChildProcess
{
public:
    CChildProcess(const std::string& strProgram, const std::string& strArguments)
    {
        char szExe[MAX_PATH];
        std::string strCommand(szExe, GetModuleFileNameA(nullptr, szExe, MAX_PATH));
        strCommand.erase(strProgram.find('\\') == std::string::npos ? strCommand.rfind('\\') + 1 : 0);
        strCommand = "\"" + strCommand + strProgram + "\" " + strArguments;
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                       &m_pi);
    }
    ~CChildProcess()
    {
        if (m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(m_pi.hProcess, 1);
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
    }
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Handles this thread's messages (the band's among them) until fDone is set (a flag or a handle), the program
    // exits or the time is up; then the exit code, STILL_ACTIVE while the program runs.
    template <class T> DWORD PumpUntil(const T& fDone, DWORD dwTimeoutMs)
    {
        const DWORD dwDeadline = GetTickCount() + dwTimeoutMs;
        DWORD dwExitCode = STILL_ACTIVE;
        for (LONG lLeft; m_pi.hProcess && !fDone && (lLeft = static_cast<LONG>(dwDeadline - GetTickCount())) > 0 &&
                         MsgWaitForMultipleObjects(1, &m_pi.hProcess, FALSE, lLeft, QS_ALLINPUT) == WAIT_OBJECT_0 + 1;)
            PumpMessages();
        return m_pi.hProcess && GetExitCodeProcess(m_pi.hProcess, &dwExitCode) ? dwExitCode : STILL_ACTIVE;
    }
    DWORD ExitCode(DWORD dwTimeoutMs) { return PumpUntil(false, dwTimeoutMs); }

private:
    PROCESS_INFORMATION m_pi = {};
};
