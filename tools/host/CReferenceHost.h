#pragma once

// How a host program uses the desk band: it finds the band's utility window, asks it for the
// band window, the view mode and the background colour, registers a window of its own, and
// from then on receives a background snapshot after every change of the band's size or of
// the theme. This one draws in the band's slot: its window lies over the band window and
// shows the latest snapshot with the endpoint's volume (from Quillon) over it. It also saves
// each snapshot as a PNG file. When the band goes away (the shell restarts, or the band is
// removed and added again) the host hides its window, waits for the new utility window and
// registers with it.
//
// Needs nothing of this project but the protocol header and Quillon's public header.

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "CHostVolume.h"
#include "CScopedHandle.h"
#include "CSlotPainter.h"
#include "DeskbandProtocol.h"

struct HOSTOPTIONS
{
    // Every snapshot is saved there as a PNG file.
    std::string strOutputFolder;
    // The host stops after this many snapshots (0: never); an empty snapshot counts but
    // makes no file.
    unsigned cSnapshotsWanted;
    // The host stops when the band it registered with goes away.
    bool bExitWithBand;
    // A named event, set after each registration, for a program that drives the band (null:
    // none).
    const char* pszRegisteredEvent;
};

class CReferenceHost
{
public:
    explicit CReferenceHost(const HOSTOPTIONS& options);
    ~CReferenceHost();

    // Creates the host window, opens the audio endpoint and starts looking for the band;
    // false when the window cannot be made.
    bool Create();
    // Handles messages until the host stops; returns the exit code: 0 when every snapshot
    // received was valid and saved.
    int Run();
    // Asks the host to stop, from any thread.
    void Close();

private:
    // A snapshot copied out of the band's block, waiting to be saved and shown.
    struct Snapshot
    {
        DESKBANDSNAPSHOTHEADER header;
        std::vector<uint8_t> pixels;
    };

    CReferenceHost(const CReferenceHost&) = delete;
    CReferenceHost& operator=(const CReferenceHost&) = delete;

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    void OpenVolume();
    void OnTimer();
    void LookForBand();
    void RegisterWithBand(HWND hwndUtility);
    void ForgetBand(const char* pszWhy);
    void UnregisterFromBand();
    LRESULT OnCopyData(HWND hwndSender, const COPYDATASTRUCT* pcds);
    void OnSnapshots();
    bool SaveSnapshot(const Snapshot& snapshot, const std::string& strPath);
    void FollowBand();
    void OnVolumeChanged();
    void OnPaint();

    const HOSTOPTIONS m_options;
    CScopedHandle m_registeredEvent;
    // Broadcast by a new shell to every top-level window.
    const UINT m_uMsgTaskbarCreated;
    HWND m_hwndHost;
    // The band's utility window we are registered with, and the band window it reported.
    HWND m_hwndUtility;
    HWND m_hwndBand;
    // A failed registration was reported; set again only once one succeeds.
    bool m_bReportedFailure;
    // Where the window was last put over the band window (screen coordinates); empty while hidden.
    RECT m_rcShown;
    DWORD m_dwLastTimer;
    std::unique_ptr<CHostVolume> m_pVolume;
    VOLUMESTATE m_volume;
    CSlotPainter m_painter;
    std::vector<Snapshot> m_pending;
    unsigned m_cReceived;
    unsigned m_cHandled; // valid snapshots taken out of the pending list
    unsigned m_cSaved;
    unsigned m_cFailed;
};
