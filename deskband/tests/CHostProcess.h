#pragma once

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "DeskbandProtocol.h"
#include "TestHostCommands.h"

struct Snapshot
{
    TESTHOSTSNAPSHOT info;
    std::vector<BYTE> bytes;
    DWORD Word(size_t iByte) const { DWORD dw; memcpy(&dw, &bytes.at(iByte), 4); return dw; }
    DWORD Pixel(int x, int y) const { return Word(DESKBAND_SNAPSHOT_PIXEL_OFFSET + 4 * (y * Word(4) + x)) & 0xFFFFFF; }
};

struct HostReport
{
    TESTHOSTREPORT answers;
    std::vector<Snapshot> snapshots;
};

// The host helper process (TestHost.cpp), with a window of ours that receives its reports.
class CHostProcess
{
public:
    CHostProcess()
    {
        const std::string name = "DeskbandTestHost-" + std::to_string(GetCurrentProcessId());
        const HANDLE hReady = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
        m_hHung = CreateEventA(nullptr, FALSE, FALSE, (name + "-hung").c_str());
        m_hResume = CreateEventA(nullptr, FALSE, FALSE, (name + "-resume").c_str());
        char szExe[MAX_PATH];
        GetModuleFileNameA(nullptr, szExe, MAX_PATH);
        std::string commandLine = std::string(szExe);
        commandLine = "\"" + commandLine.substr(0, commandLine.find_last_of('\\') + 1) + "deskband_testhost.exe\" " + name + " " + std::to_string(GetCurrentProcessId());
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &m_pi)
            && WaitForSingleObject(hReady, 20000) == WAIT_OBJECT_0)
            m_hwnd = FindWindowA(TESTHOST_CLASS, name.c_str());
        CloseHandle(hReady);
        m_hwndCollector = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrA(m_hwndCollector, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrA(m_hwndCollector, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CollectorProc));
    }
    ~CHostProcess()
    {
        DestroyWindow(m_hwndCollector);
        SetEvent(m_hResume);
        CloseHandle(m_hHung);
        CloseHandle(m_hResume);
        if (!m_pi.hProcess)
            return;
        PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(m_pi.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(m_pi.hProcess, 1);
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
    }
    CHostProcess(const CHostProcess&) = delete;
    CHostProcess& operator=(const CHostProcess&) = delete;

    bool Register() { return SendMessageA(m_hwnd, TESTHOST_REGISTER, 0, 0) != 0; }
    // The host stops handling messages until Resume.
    bool Hang()
    {
        PostMessageA(m_hwnd, TESTHOST_HANG, 0, 0);
        return WaitForSingleObject(m_hHung, 10000) == WAIT_OBJECT_0;
    }
    void Resume() { SetEvent(m_hResume); }
    // Everything the host has seen since the last report.
    HostReport Report()
    {
        m_report = HostReport();
        SendMessageA(m_hwnd, TESTHOST_REPORT, reinterpret_cast<WPARAM>(m_hwndCollector), 0);
        return m_report;
    }
    HWND m_hwnd = nullptr;

private:
    static LRESULT CALLBACK CollectorProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        if (uMsg != WM_COPYDATA)
            return DefWindowProcA(hwnd, uMsg, wParam, lParam);
        auto pThis = reinterpret_cast<CHostProcess*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        const auto pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const BYTE* p = static_cast<const BYTE*>(pcds->lpData);
        memcpy(&pThis->m_report.answers, p, sizeof(TESTHOSTREPORT));
        p += sizeof(TESTHOSTREPORT);
        for (DWORD i = 0; i < pThis->m_report.answers.cSnapshots; ++i) {
            Snapshot snapshot;
            memcpy(&snapshot.info, p, sizeof(TESTHOSTSNAPSHOT));
            p += sizeof(TESTHOSTSNAPSHOT);
            snapshot.bytes.assign(p, p + snapshot.info.cbData);
            p += snapshot.info.cbData;
            pThis->m_report.snapshots.push_back(snapshot);
        }
        return TRUE;
    }
    PROCESS_INFORMATION m_pi = {};
    HANDLE m_hHung;
    HANDLE m_hResume;
    HWND m_hwndCollector;
    HostReport m_report;
};
