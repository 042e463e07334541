// The wave format chooser for real under Wine: the platform's ACM dialog titled "Select Wave
// File Format", OK and Cancel, and the "Format Not Available" retry for a format that the
// machine can decode but not encode.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "formats/acm.h"
#include "gui/dialogs/dialogs.h"
#include "tests/support/acm_records.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

void Press(HWND dlg, int id) {
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

}  // namespace

TEST(AcmChooser, OkKeepsTheChosenFormatAndCancelReturnsFalse) {
    LWaveFileFormat format(8000, 1, "ALAW");
    std::atomic<bool> seen{false};
    std::thread ui([&] {
        HWND dlg = WaitDialog("Select Wave File Format");
        if (!dlg) return;
        seen = true;
        RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Screenshot("tamber-acm-chooser.png");
        Press(dlg, IDOK);
    });
    bool chosen = LWaveFormatChoose(nullptr, format, 1, "Select Wave File Format");
    ui.join();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(format.Format().nChannels, 1);
    EXPECT_TRUE(format.TestSupportedRecord());
    std::printf("chosen: tag %u, %u Hz, %u ch, %u bits\n", format.Format().wFormatTag,
                unsigned(format.Format().nSamplesPerSec), format.Format().nChannels,
                format.Format().wBitsPerSample);

    std::thread cancel([] {
        if (HWND dlg = WaitDialog("Select Wave File Format")) Press(dlg, IDCANCEL);
    });
    EXPECT_FALSE(LWaveFormatChoose(nullptr, format, 0, "Select Wave File Format"));
    cancel.join();
}

TEST(AcmChooser, FormatThatCannotBeEncodedIsRefusedAndTheChooserReopens) {
    // Wine's Microsoft ADPCM driver decodes but does not encode.
    LWaveFileFormat format = testutil::MsAdpcmRecord(8000, 1);
    if (format.TestSupportedRecord()) GTEST_SKIP() << "this machine encodes Microsoft ADPCM";
    std::string boxText;
    std::atomic<int> choosers{0};
    std::thread ui([&] {
        HWND dlg = WaitDialog("Select Wave File Format");
        if (!dlg) return;
        ++choosers;
        Press(dlg, IDOK);
        HWND box = WaitDialog("Format Not Available");
        if (!box) return;
        boxText = AllTexts(box);
        Screenshot("tamber-acm-not-available.png");
        Press(box, IDOK);
        // The chooser comes back; this time the user gives up.
        WaitFor([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 10000);
        HWND again = WaitDialog("Select Wave File Format");
        if (!again) return;
        ++choosers;
        Press(again, IDCANCEL);
    });
    bool chosen = LWaveFormatChoose(nullptr, format, 1, "Select Wave File Format");
    ui.join();
    EXPECT_FALSE(chosen);
    EXPECT_EQ(choosers.load(), 2);
    EXPECT_NE(boxText.find("The requested format is not available because the required CODEC is "
                           "not installed on this computer."),
              std::string::npos)
        << boxText;
}
