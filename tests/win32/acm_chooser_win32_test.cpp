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

namespace {

BOOL CALLBACK ListTop(HWND w, LPARAM) {
    char cls[64] = {}, text[256] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    if (IsWindowVisible(w)) std::fprintf(stderr, "top: [%s] [%s]\n", cls, text);
    return TRUE;
}

HWND WaitForWindow(const char* title, int ms = 15000) {
    for (int i = 0; i < ms / 20; ++i) {
        if (i == 100) EnumWindows(ListTop, 0);
        if (HWND w = FindWindowA("#32770", title)) {
            if (IsWindowVisible(w)) return w;
        }
        Sleep(20);
    }
    return nullptr;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM p) {
    char cls[32] = {}, text[512] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) {
        auto* s = reinterpret_cast<std::string*>(p);
        *s += text;
        *s += "|";
    }
    return TRUE;
}

// The texts of a dialog's static controls, one after another.
std::string StaticTexts(HWND dlg) {
    std::string all;
    EnumChildWindows(dlg, CollectStatic, reinterpret_cast<LPARAM>(&all));
    return all;
}

void Press(HWND dlg, int id) {
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void Screenshot(const char* name) {
    // The host's screenshot tool, run through the host shell (Wine starts host programs).
    std::string cmd = std::string("Z:\\bin\\sh -c \"import -window root /tmp/") + name + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        Sleep(1500);
    }
}

}  // namespace

TEST(AcmChooser, OkKeepsTheChosenFormatAndCancelReturnsFalse) {
    LWaveFileFormat format(8000, 1, "ALAW");
    std::atomic<bool> seen{false};
    std::thread ui([&] {
        HWND dlg = WaitForWindow("Select Wave File Format");
        if (!dlg) return;
        seen = true;
        Sleep(500);  // let it paint for the screenshot
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
        if (HWND dlg = WaitForWindow("Select Wave File Format")) Press(dlg, IDCANCEL);
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
        HWND dlg = WaitForWindow("Select Wave File Format");
        if (!dlg) return;
        ++choosers;
        Press(dlg, IDOK);
        HWND box = WaitForWindow("Format Not Available");
        if (!box) return;
        boxText = StaticTexts(box);
        Screenshot("tamber-acm-not-available.png");
        Press(box, IDOK);
        // The chooser comes back; this time the user gives up.
        for (int i = 0; i < 500 && IsWindow(dlg) && IsWindowVisible(dlg); ++i) Sleep(20);
        HWND again = WaitForWindow("Select Wave File Format");
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
