#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "CHostProcess.h"
#include "CSitedBand.h"

// The desk band's test fixture: a sited band, let go of at the end, which must then leave no
// window and no reference to its site behind.
class CSitedBandTest : public ::testing::Test, protected CSitedBand
{
protected:
    void SetUp() override { ASSERT_TRUE(IsSited()); }
    void TearDown() override
    {
        ReleaseBand();
        EXPECT_FALSE(IsWindow(m_hwndBand) || UtilityWindow());
        EXPECT_EQ(m_site.m_cRef, 0u);
    }

    // Exactly one snapshot came from the utility window, valid as the reference host judges it,
    // with the header words and zeroed spare bytes, and pixels of the taskbar's pattern behind a
    // band at (dx, dy), or crFill.
    void ExpectOneSnapshot(CHostProcess& host, int nWidth, int nHeight, DWORD dwViewMode = 0, int dx = 0, int dy = 0,
                           COLORREF crFill = CLR_INVALID)
    {
        const std::vector<Snapshot> snapshots = host.Report();
        ASSERT_EQ(snapshots.size(), 1u);
        const Snapshot& snapshot = snapshots[0];
        EXPECT_TRUE(snapshot.hwndSender == m_hwndUtility && snapshot.dwData == DESKBAND_SNAPSHOT_ID);
        ASSERT_EQ(snapshot.cbData, 52u + 4u * nWidth * nHeight);
        EXPECT_TRUE(DeskbandSnapshotIsValid(snapshot.dwData, snapshot.words.data(), snapshot.cbData, nullptr));
        EXPECT_EQ(std::vector<DWORD>(snapshot.words.begin(), snapshot.words.begin() + 12),
                  (std::vector<DWORD>{52, DWORD(nWidth), DWORD(nHeight), dwViewMode, 0, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(snapshot.words.back(), 0u) << "trailing word";
        ExpectPattern(&snapshot.words[12], nWidth, nHeight, dx, dy, crFill);
    }
    // 32-bit pixels of the taskbar's pattern behind a band at (dx, dy), or crFill. Past the
    // taskbar's edges nothing paints the pattern: there the pixels are zero, as in a new bitmap.
    static void ExpectPattern(const DWORD* pdwPixels, int nWidth, int nHeight, int dx, int dy, COLORREF crFill)
    {
        for (int i = 0; i < nWidth * nHeight; ++i) {
            const int x = i % nWidth + dx, y = i / nWidth + dy;
            const bool fOnTaskbar = x < CTestTaskbar::kDefaultWidth && y < CTestTaskbar::kDefaultHeight;
            const DWORD dwExpected = crFill != CLR_INVALID ? AsDibPixel(crFill)
                                     : fOnTaskbar          ? AsDibPixel(PatternAt(x, y))
                                                           : 0;
            if ((pdwPixels[i] & 0xFFFFFF) != dwExpected)
                return ADD_FAILURE() << "pixel " << i % nWidth << "," << i / nWidth << " is " << std::hex
                                     << pdwPixels[i];
        }
    }
};
