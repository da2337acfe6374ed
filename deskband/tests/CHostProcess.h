#pragma once

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "TestHostCommands.h"
#include "TestShell.h"

// A WM_COPYDATA as the host received it; the block as 32-bit words.
struct Snapshot
{
    HWND hwndSender;
    ULONG_PTR dwData;
    DWORD cbData;
    std::vector<DWORD> words;
};

// The host helper process (TestHost.cpp), passing what it receives on to a collector window
// of ours.
class CHostProcess
{
public:
    CHostProcess()
    {
        SetWindowLongPtrA(m_hwndCollector, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        const std::string strCollector = std::to_string(reinterpret_cast<UINT_PTR>(m_hwndCollector));
        m_hHung = CreateEventA(nullptr, FALSE, FALSE, TestHostEventName(strCollector, "hung").c_str());
        m_hResume = CreateEventA(nullptr, FALSE, FALSE, TestHostEventName(strCollector, "resume").c_str());
        char szExe[MAX_PATH];
        GetModuleFileNameA(nullptr, szExe, MAX_PATH);
        strcpy(strrchr(szExe, '\\') + 1, "deskband_testhost.exe");
        std::string commandLine = "\"" + std::string(szExe) + "\" " + strCollector;
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &m_pi))
            while (!m_hwnd && MsgWaitForMultipleObjects(1, &m_pi.hProcess, FALSE, 20000, QS_POSTMESSAGE) == WAIT_OBJECT_0 + 1)
                PumpMessages();
    }
    ~CHostProcess()
    {
        SetEvent(m_hResume);
        if (m_pi.hProcess) {
            PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(m_pi.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(m_pi.hProcess, 1);
            CloseHandle(m_pi.hThread);
            CloseHandle(m_pi.hProcess);
        }
        CloseHandle(m_hHung);
        CloseHandle(m_hResume);
        DestroyWindow(m_hwndCollector);
    }
    CHostProcess(const CHostProcess&) = delete;
    CHostProcess& operator=(const CHostProcess&) = delete;

    // The utility window the host found and registered with, or null.
    HWND Register() { return reinterpret_cast<HWND>(SendMessageA(m_hwnd, TESTHOST_REGISTER, 0, 0)); }
    // The host stops handling messages, as a hung program does, until Resume.
    bool Hang()
    {
        PostMessageA(m_hwnd, TESTHOST_HANG, 0, 0);
        return WaitForSingleObject(m_hHung, 10000) == WAIT_OBJECT_0;
    }
    void Resume() { SetEvent(m_hResume); }
    // Every snapshot the host has received since the last report.
    std::vector<Snapshot> Report() { return std::move(m_snapshots); }
    HWND m_hwnd = nullptr;

private:
    static LRESULT CALLBACK CollectorProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto pThis = reinterpret_cast<CHostProcess*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        const auto pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (uMsg == TESTHOST_READY) {
            pThis->m_hwnd = reinterpret_cast<HWND>(lParam);
        } else if (uMsg == WM_COPYDATA) {
            pThis->m_snapshots.push_back({reinterpret_cast<HWND>(wParam), pcds->dwData, pcds->cbData, {}});
            pThis->m_snapshots.back().words.resize((pcds->cbData + 3) / 4);
            memcpy(pThis->m_snapshots.back().words.data(), pcds->lpData, pcds->cbData);
        } else {
            return DefWindowProcA(hwnd, uMsg, wParam, lParam);
        }
        return TRUE;
    }
    HWND m_hwndCollector = CreateHiddenWindow("DeskbandTestCollector", CollectorProc, 0, 0);
    HANDLE m_hHung;
    HANDLE m_hResume;
    PROCESS_INFORMATION m_pi = {};
    std::vector<Snapshot> m_snapshots;
};
