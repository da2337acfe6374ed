#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace
{
struct ScenarioOutcome
{
    DWORD dwExitCode;
    std::string strOutput;
};

std::string ScenarioPath()
{
    char szPath[MAX_PATH];
    GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string strPath = szPath;
    return strPath.substr(0, strPath.find_last_of("\\/") + 1) + "trace_silence_scenario.exe";
}

// Runs the scenario in a child whose standard output and error both go to one file, and
// returns what it wrote there.
ScenarioOutcome RunScenario(const char* pszLibrary)
{
    char szDir[MAX_PATH], szFile[MAX_PATH];
    GetTempPathA(MAX_PATH, szDir);
    GetTempFileNameA(szDir, "trs", 0, szFile);
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE hOutput = CreateFileA(szFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                 CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    HANDLE hInput = CreateFileA("NUL", GENERIC_READ, 0, &sa, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = hInput;
    si.hStdOutput = hOutput;
    si.hStdError = hOutput;
    std::string strCommand = "\"" + ScenarioPath() + "\" " + pszLibrary;
    PROCESS_INFORMATION pi = {};
    ScenarioOutcome outcome = {~0u, ""};
    if (CreateProcessA(nullptr, &strCommand[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &outcome.dwExitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        char achBuffer[4096];
        DWORD cbRead = 0;
        SetFilePointer(hOutput, 0, nullptr, FILE_BEGIN);
        while (ReadFile(hOutput, achBuffer, sizeof achBuffer, &cbRead, nullptr) && cbRead)
            outcome.strOutput.append(achBuffer, cbRead);
    }
    CloseHandle(hInput);
    CloseHandle(hOutput);
    return outcome;
}

void ExpectSilent(const char* pszLibrary, const char* pszDll)
{
    ScenarioOutcome outcome = RunScenario(pszLibrary);
    if (outcome.dwExitCode == 2)
        GTEST_SKIP() << pszDll << " is not in bin/";
    EXPECT_EQ(outcome.dwExitCode, 0u) << "3: an export is missing, 4: no object was made";
    EXPECT_EQ(outcome.strOutput, "");
}

TEST(DeliveredLibraries, DeskBandScenarioWritesNothing)
{
    ExpectSilent("veltrix", "Veltrix.dll");
}

TEST(DeliveredLibraries, QuillonScenarioWritesNothing)
{
    ExpectSilent("quillon", "Quillon.dll");
}
}
