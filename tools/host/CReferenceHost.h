#pragma once

// How a host program talks to the desk band: it finds the band's utility window, asks it for
// the band window, the view mode and the background colour, registers a window of its own,
// and from then on receives a background snapshot after every change of the band's size or
// of the theme. This one saves each snapshot as a PNG file. When the band goes away (the
// shell restarts, or the band is removed and added again) the host waits for the new utility
// window and registers with it.
//
// Needs nothing of this project but the protocol header.

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "DeskbandProtocol.h"

class CReferenceHost
{
public:
    // Snapshots go to strOutputFolder. The host stops after cSnapshotsWanted snapshots (0:
    // never; an empty snapshot counts but makes no file). When pszRegisteredEvent names an
    // event, it is set after each registration, so that a program driving the band knows the
    // host is listening.
    CReferenceHost(const std::string& strOutputFolder, unsigned cSnapshotsWanted, const char* pszRegisteredEvent);
    ~CReferenceHost();

    // Creates the host window and starts looking for the band; false when that fails.
    bool Create();
    // Handles messages until the wanted snapshots are saved or the host is closed; returns the
    // exit code: 0 when every snapshot received was valid and saved.
    int Run();
    // Asks the host to stop, from any thread.
    void Close();

private:
    // A snapshot copied out of the band's block, waiting to be saved.
    struct Snapshot
    {
        DESKBANDSNAPSHOTHEADER header;
        std::vector<uint8_t> pixels;
    };

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    void LookForBand();
    void RegisterWithBand(HWND hwndUtility);
    void UnregisterFromBand();
    LRESULT OnCopyData(HWND hwndSender, const COPYDATASTRUCT* pcds);
    void SavePendingSnapshots();
    bool SaveSnapshot(const Snapshot& snapshot, const std::string& strPath);

    std::string m_strOutputFolder;
    unsigned m_cSnapshotsWanted;
    HANDLE m_hRegisteredEvent;
    HWND m_hwndHost;
    // The band's utility window we are registered with, and the band window it reported.
    HWND m_hwndUtility;
    HWND m_hwndBand;
    std::vector<Snapshot> m_pending;
    unsigned m_cReceived;
    unsigned m_cHandled; // valid snapshots taken out of the pending list
    unsigned m_cSaved;
    unsigned m_cFailed;
};
