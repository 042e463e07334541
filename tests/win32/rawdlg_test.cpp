// The raw settings dialog under Wine: rates outside 6000..196000 are refused, good values stored.
#include "gui/dialogs/dialogs.h"
#include "store/settings.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

// Enters a rate and presses OK; the refusal's text (its box closed), or "" when none came.
std::string TryRate(HWND dlg, const char* rate) {
    SetDlgItemTextA(dlg, 102, rate);
    PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = FindDialog("Error")) != nullptr || !IsWindow(dlg); }, 5000) ||
        !box)
        return "";
    const std::string text = MessageText(box);
    Answer("Error", IDOK);
    return text;
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
            for (const char* rate : {"5999", "196001"})
                EXPECT_NE(TryRate(dlg, rate).find("between 6000 and 196000"), std::string::npos);
            EXPECT_TRUE(IsWindow(dlg));
            SendDlgItemMessageA(dlg, 101, CB_SETCURSEL, 2, 0);
            SendDlgItemMessageA(dlg, 103, CB_SETCURSEL, 1, 0);
            EXPECT_EQ(TryRate(dlg, "22050"), "");
        },
        run));
    EXPECT_EQ(raw.sampleRate, 22050u);
    EXPECT_EQ(raw.channels, 2);
    EXPECT_EQ(raw.codec, 2u);
    EXPECT_EQ(SettingsReadInt("RawAudio", "SampleRate", 0), 22050);
    EXPECT_EQ(SettingsReadInt("RawAudio", "Channels", 0), 2);
    EXPECT_EQ(SettingsReadInt("RawAudio", "Codec", 0), 2);
    // Cancel keeps the record and reports false.
    EXPECT_FALSE(Driving(
        "Raw Audio Settings", [](HWND dlg) { PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0); }, run));
    EXPECT_EQ(raw.sampleRate, 22050u);
}

}  // namespace
