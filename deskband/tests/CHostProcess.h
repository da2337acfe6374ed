#pragma once

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "CChildProcess.h"

// The test host (TestHost.c) in a second process, passing the snapshots it accepts on to a
// collector window of ours: this build's host, or the one DESKBAND_TESTHOST names (a host of
// the other bitness).
class CHostProcess
{
public:
    // A WM_COPYDATA as the host received it: the sender, and the block as 32-bit words.
    struct Snapshot
    {
        HWND hwndSender;
        DWORD cbData;
        std::vector<DWORD> words;
    };

    CHostProcess()
    {
        SetWindowLongPtrA(m_hwndCollector, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_process.PumpUntil(m_fReady, 20000);
    }
    ~CHostProcess()
    {
        SetEvent(m_hResume);
        PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        DestroyWindow(m_hwndCollector);
        CloseHandle(m_hResume);
    }
    CHostProcess(const CHostProcess&) = delete;
    CHostProcess& operator=(const CHostProcess&) = delete;

    // The utility window the host found and registered with, or null.
    HWND Register() { return reinterpret_cast<HWND>(SendMessageA(m_hwnd, TESTHOST_REGISTER, 0, 0)); }
    // The host stops handling messages in its next snapshot, until Resume.
    void HangInNextSnapshot() { SendMessageA(m_hwnd, TESTHOST_HANG, 0, 0); }
    void Resume() { SetEvent(m_hResume); }
    // Every snapshot the host has passed on since the last report.
    std::vector<Snapshot> Report() { return std::move(m_snapshots); }
    HWND m_hwnd = nullptr;

private:
    static LRESULT CALLBACK CollectorProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        const auto pThis = reinterpret_cast<CHostProcess*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        const auto pcds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (uMsg == TESTHOST_READY) {
            pThis->m_hwnd = reinterpret_cast<HWND>(lParam);
            pThis->m_fReady = true;
        } else if (uMsg == WM_COPYDATA) {
            std::vector<DWORD> words((pcds->cbData + 3) / 4);
            memcpy(words.data(), pcds->lpData, pcds->cbData);
            pThis->m_snapshots.push_back({reinterpret_cast<HWND>(wParam), pcds->cbData, std::move(words)});
        } else {
            return DefWindowProcA(hwnd, uMsg, wParam, lParam);
        }
        return TRUE;
    }
    static HANDLE CreateResumeEvent(HWND hwndCollector)
    {
        char szName[64];
        TestHostResumeEvent(hwndCollector, szName);
        return CreateEventA(nullptr, FALSE, FALSE, szName);
    }

    bool m_fReady = false;
    const HWND m_hwndCollector = CreateHiddenWindow("DeskbandTestCollector", CollectorProc, 0, 0);
    const HANDLE m_hResume = CreateResumeEvent(m_hwndCollector);
    std::vector<Snapshot> m_snapshots;
    // Last, so that it is started after all of the above and waited for first.
    CChildProcess m_process{getenv("DESKBAND_TESTHOST") ? getenv("DESKBAND_TESTHOST") : "deskband_testhost.exe",
                            std::to_string(HandleToLong(m_hwndCollector))};
};
