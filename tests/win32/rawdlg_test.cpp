// The raw settings dialog under Wine: rates outside 6000..196000 are refused, good values stored.
#include <windows.h>
// windows.h first.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "gui/dialogs/dialogs.h"
#include "store/settings.h"
#include "tests/win32/support/wintest.h"

namespace {

using wintest::WaitFor;

HWND Dialog(const char* caption) {
    return wintest::FindDialog(caption);
}

// Enters a rate, presses OK and, when refused, closes the message box and reports the text.
std::string TryRate(HWND dlg, const char* rate) {
    SetDlgItemTextA(dlg, 102, rate);
    PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = Dialog("Error")) != nullptr || !IsWindow(dlg); }, 5000) ||
        !box)
        return "";
    const std::string text = wintest::MessageText(box);
    wintest::Answer("Error", IDOK);
    return text;
}

TEST(RawDialog, RefusesRatesOutsideTheRangeAndStoresGoodOnes) {
    LRawSettings raw(LRawSettings::kRawSection);
    raw.Load();
    std::atomic<bool> refusedLow{false}, refusedHigh{false}, stayedOpen{false};
    std::atomic<int> codecs{0}, rates{0};
    std::thread driver([&] {
        HWND dlg = nullptr;
        // Visible means the dialog has run its initialisation and filled its boxes.
        if (!WaitFor([&] {
                return (dlg = Dialog("Raw Audio Settings")) != nullptr && IsWindowVisible(dlg);
            }))
            return;
        codecs = static_cast<int>(SendDlgItemMessageA(dlg, 101, CB_GETCOUNT, 0, 0));
        rates = static_cast<int>(SendDlgItemMessageA(dlg, 102, CB_GETCOUNT, 0, 0));
        refusedLow = TryRate(dlg, "5999").find("between 6000 and 196000") != std::string::npos;
        refusedHigh = TryRate(dlg, "196001").find("between 6000 and 196000") != std::string::npos;
        stayedOpen = IsWindow(dlg) != FALSE;
        SendDlgItemMessageA(dlg, 101, CB_SETCURSEL, 2, 0);
        SendDlgItemMessageA(dlg, 103, CB_SETCURSEL, 1, 0);
        TryRate(dlg, "22050");
    });
    EXPECT_TRUE(LSettingsDialogRun(nullptr, raw));
    driver.join();
    EXPECT_EQ(codecs, 7);
    EXPECT_EQ(rates, 12);
    EXPECT_TRUE(refusedLow);
    EXPECT_TRUE(refusedHigh);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(raw.sampleRate, 22050u);
    EXPECT_EQ(raw.channels, 2);
    EXPECT_EQ(raw.codec, 2u);
    EXPECT_EQ(SettingsReadInt("RawAudio", "SampleRate", 0), 22050);
    EXPECT_EQ(SettingsReadInt("RawAudio", "Channels", 0), 2);
    EXPECT_EQ(SettingsReadInt("RawAudio", "Codec", 0), 2);

    // Cancel keeps the record and reports false.
    std::thread canceller([] {
        HWND dlg = nullptr;
        if (WaitFor([&] { return (dlg = Dialog("Raw Audio Settings")) != nullptr; }))
            PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_FALSE(LSettingsDialogRun(nullptr, raw));
    canceller.join();
    EXPECT_EQ(raw.sampleRate, 22050u);
}

}  // namespace
