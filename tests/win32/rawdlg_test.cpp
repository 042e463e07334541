// The raw settings dialog under Wine: rates outside 6000..196000 are refused, good values stored.
#include "gui/dialogs/dialogs.h"
#include "store/settings.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

// Enters a rate and presses OK.
void TryRate(HWND dlg, const char* rate) {
    SetDlgItemTextA(dlg, 102, rate);
    Command(dlg, IDOK);
}

TEST(RawDialog, RefusesRatesOutsideTheRangeAndStoresGoodOnes) {
    LRawSettings raw(LRawSettings::kRawSection);
    raw.Load();
    const auto run = [&] { return LSettingsDialogRun(nullptr, raw); };
    EXPECT_TRUE(Driving(
        "Raw Audio Settings",
        [](HWND dlg) {
            EXPECT_EQ(SendDlgItemMessageA(dlg, 101, CB_GETCOUNT, 0, 0), 7);
            EXPECT_EQ(SendDlgItemMessageA(dlg, 102, CB_GETCOUNT, 0, 0), 12);
            for (const char* rate : {"5999", "196001"}) {
                TryRate(dlg, rate);
                EXPECT_TRUE(Answer("Error", IDOK, "between 6000 and 196000")) << rate;
            }
            EXPECT_TRUE(IsWindow(dlg));
            SendDlgItemMessageA(dlg, 101, CB_SETCURSEL, 2, 0);
            SendDlgItemMessageA(dlg, 103, CB_SETCURSEL, 1, 0);
            TryRate(dlg, "22050");
        },
        run));
    EXPECT_EQ(std::tuple(raw.sampleRate, raw.channels, raw.codec), std::tuple(22050u, 2, 2u));
    EXPECT_EQ(std::tuple(SettingsReadInt("RawAudio", "SampleRate", 0),
                         SettingsReadInt("RawAudio", "Channels", 0),
                         SettingsReadInt("RawAudio", "Codec", 0)),
              std::tuple(22050, 2, 2));
    // Cancel keeps the record and reports false.
    EXPECT_FALSE(Driving(
        "Raw Audio Settings", [](HWND dlg) { Command(dlg, IDCANCEL); }, run));
    EXPECT_EQ(raw.sampleRate, 22050u);
}

}  // namespace
