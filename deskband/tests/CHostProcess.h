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
    // A WM_COPYDATA as the host received it: the sender, and the block as 32-bit words (every
    // block the host accepts is a whole number of them).
    struct Snapshot
    {
        HWND hwndSender;
        std::vector<DWORD> words;
    };

    CHostProcess() { m_process.PumpUntil(m_hwnd, 20000); }
    ~CHostProcess()
    {
        PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
        DestroyWindow(m_hwndCollector);
    }
    CHostProcess(const CHostProcess&) = delete;
    CHostProcess& operator=(const CHostProcess&) = delete;

    // The utility window the host found and registered with, or null.
    HWND Register() { return reinterpret_cast<HWND>(SendMessageA(m_hwnd, TESTHOST_REGISTER, 0, 0)); }
    // The host stops handling messages in its next snapshot, for 3 s.
    void HangInNextSnapshot() { SendMessageA(m_hwnd, TESTHOST_HANG, 0, 0); }
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
        } else if (uMsg == WM_COPYDATA) {
            pThis->m_snapshots.push_back({reinterpret_cast<HWND>(wParam), std::vector<DWORD>(pcds->cbData / 4)});
            memcpy(pThis->m_snapshots.back().words.data(), pcds->lpData, pcds->cbData / 4 * 4);
        } else {
            return DefWindowProcA(hwnd, uMsg, wParam, lParam);
        }
        return TRUE;
    }
    static HWND CreateCollector(CHostProcess* pThis)
    {
        const HWND hwnd = CreateHiddenWindow("DeskbandTestCollector", CollectorProc, 0, 0);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pThis));
        return hwnd;
    }

    std::vector<Snapshot> m_snapshots;
    const HWND m_hwndCollector = CreateCollector(this);
    // Last, so that it is started after all of the above and waited for first.
    CChildProcess m_process{getenv("DESKBAND_TESTHOST") ? getenv("DESKBAND_TESTHOST") : "deskband_testhost.exe",
                            std::to_string(HandleToLong(m_hwndCollector))};
};
