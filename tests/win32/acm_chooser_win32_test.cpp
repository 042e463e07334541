// The wave format chooser for real under Wine: the platform's ACM dialog titled "Select Wave
// File Format", OK and Cancel, and the "Format Not Available" retry for a format that the
// machine can decode but not encode.
#include "formats/acm.h"
#include "gui/dialogs/dialogs.h"
#include "tests/support/acm_records.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

const char kTitle[] = "Select Wave File Format";

}  // namespace

TEST(AcmChooser, OkKeepsTheChosenFormatAndCancelReturnsFalse) {
    LWaveFileFormat format(8000, 1, "ALAW");
    EXPECT_TRUE(Driving(
        kTitle, [](HWND dlg) { Command(dlg, IDOK); },
        [&] { return LWaveFormatChoose(nullptr, format, 1, kTitle); }));
    EXPECT_EQ(format.Format().nChannels, 1);
    EXPECT_TRUE(format.TestSupportedRecord());
    EXPECT_FALSE(Driving(
        kTitle, [](HWND dlg) { Command(dlg, IDCANCEL); },
        [&] { return LWaveFormatChoose(nullptr, format, 0, kTitle); }));
}

TEST(AcmChooser, FormatThatCannotBeEncodedIsRefusedAndTheChooserReopens) {
    // Wine's Microsoft ADPCM driver decodes but does not encode.
    LWaveFileFormat format = testutil::MsAdpcmRecord(8000, 1);
    if (format.TestSupportedRecord()) GTEST_SKIP() << "this machine encodes Microsoft ADPCM";
    bool reopened = false;
    EXPECT_FALSE(Driving(
        kTitle,
        [&](HWND dlg) {
            Command(dlg, IDOK);
            EXPECT_TRUE(Answer("Format Not Available", IDOK,
                               "The requested format is not available because the required CODEC "
                               "is not installed on this computer."));
            // The chooser comes back; this time the user gives up.
            WaitFor([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 10000);
            reopened = Answer(kTitle, IDCANCEL);
        },
        [&] { return LWaveFormatChoose(nullptr, format, 1, kTitle); }));
    EXPECT_TRUE(reopened);
}
