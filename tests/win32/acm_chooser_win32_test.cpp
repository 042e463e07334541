// The wave format chooser for real under Wine: the platform's ACM dialog titled "Select Wave
// File Format", OK and Cancel, and the "Format Not Available" retry for a format that the
// machine can decode but not encode.
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
    const char* title = "Select Wave File Format";
    EXPECT_TRUE(Driving(
        title, [](HWND dlg) { Press(dlg, IDOK); },
        [&] { return LWaveFormatChoose(nullptr, format, 1, title); }));
    EXPECT_EQ(format.Format().nChannels, 1);
    EXPECT_TRUE(format.TestSupportedRecord());
    EXPECT_FALSE(Driving(
        title, [](HWND dlg) { Press(dlg, IDCANCEL); },
        [&] { return LWaveFormatChoose(nullptr, format, 0, title); }));
}

TEST(AcmChooser, FormatThatCannotBeEncodedIsRefusedAndTheChooserReopens) {
    // Wine's Microsoft ADPCM driver decodes but does not encode.
    LWaveFileFormat format = testutil::MsAdpcmRecord(8000, 1);
    if (format.TestSupportedRecord()) GTEST_SKIP() << "this machine encodes Microsoft ADPCM";
    const char* title = "Select Wave File Format";
    int choosers = 0;
    EXPECT_FALSE(Driving(
        title,
        [&](HWND dlg) {
            ++choosers;
            Press(dlg, IDOK);
            HWND box = WaitDialog("Format Not Available");
            ASSERT_TRUE(box);
            EXPECT_NE(AllTexts(box).find("The requested format is not available because the "
                                         "required CODEC is not installed on this computer."),
                      std::string::npos);
            Press(box, IDOK);
            // The chooser comes back; this time the user gives up.
            WaitFor([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 10000);
            HWND again = WaitDialog(title);
            ASSERT_TRUE(again);
            ++choosers;
            Press(again, IDCANCEL);
        },
        [&] { return LWaveFormatChoose(nullptr, format, 1, title); }));
    EXPECT_EQ(choosers, 2);
}
