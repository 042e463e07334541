// The settings dialogs under Wine: encoder settings, raw settings and the wave format chooser.
#include "convert/gensink.h"
#include "formats/acm.h"
#include "gui/dialogs/dialogs.h"
#include "store/settings.h"
#include "tests/support/acm_records.h"
#include "tests/support/fakehost.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

const auto ItemText = [](HWND d, int id) { return Text(GetDlgItem(d, id)); };
const auto Sel = [](HWND d, int id) { return SendDlgItemMessageA(d, id, CB_GETCURSEL, 0, 0); };
const auto On = [](HWND d, int id) { return IsDlgButtonChecked(d, id) == BST_CHECKED; };
const auto Enabled = [](HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != FALSE; };
// Chooses a radio button of a pair as a click does: the other one clears, the dialog is told.
void Choose(HWND dlg, int id, int other) {
    SendDlgItemMessageA(dlg, other, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageA(dlg, id, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dlg, id)));
}
const auto SetSel = [](HWND d, int id, int i) { SendDlgItemMessageA(d, id, CB_SETCURSEL, i, 0); };

const char kTitle[] = "Select Wave File Format";

}  // namespace

TEST(EncoderDialogs, Mp3ShowsEditsRestoresAndStores) {
    LMP3EncodeSettings s;
    s.Store();
    EXPECT_TRUE(Driving(
        "MP3 Encoder Settings",
        [](HWND d) {
            EXPECT_TRUE(On(d, 102) && !On(d, 105) && ItemText(d, 103) == "128");
            EXPECT_TRUE(Sel(d, 108) == 4 && Sel(d, 101) == 1);
            EXPECT_TRUE(Enabled(d, 103) && Enabled(d, 104) && !Enabled(d, 106) && !Enabled(d, 108));
            Choose(d, 105, 102);
            EXPECT_TRUE(!Enabled(d, 103) && !Enabled(d, 104) && Enabled(d, 106) && Enabled(d, 108));
            SetDlgItemTextA(d, 103, "999");
            Click(d, 110);  // back to the defaults, controls only
            EXPECT_TRUE(On(d, 102) && !On(d, 105) && ItemText(d, 103) == "128");
            EXPECT_TRUE(Enabled(d, 103) && !Enabled(d, 106));
            Choose(d, 105, 102);
            SetDlgItemTextA(d, 106, " +64kbps");
            SetDlgItemTextA(d, 107, "256");
            SetSel(d, 108, 2);
            SetSel(d, 101, 3);
            Click(d, 109);
            Command(d, IDOK);
        },
        [&] { return LSettingsDialogRun(nullptr, s); }));
    EXPECT_EQ(std::tuple(s.constantBitRate, s.vbrMinBitRate, s.vbrMaxBitRate, s.vbrQuality,
                         s.channelMode, s.errorProtection, s.cbrBitRate),
              std::tuple(false, 64, 256, 2, 3, true, 128));
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "VBRMaxBitRate", 0), 256);  // stored
}

// A typed bitrate beyond what the encoder takes is stored as its nearest end.
TEST(EncoderDialogs, OpusShowsRestoresAndStoresWithinTheBitrates) {
    LOpusEncodeSettings s{.bitRate = 24, .tuning = 1};
    EXPECT_TRUE(Driving(
        "Opus Encoder Settings",
        [](HWND d) {
            EXPECT_TRUE(ItemText(d, 101) == "24" && Sel(d, 102) == 1);
            SetSel(d, 102, 2);
            Click(d, 103);
            EXPECT_TRUE(ItemText(d, 101) == "96" && Sel(d, 102) == 0);
            SetDlgItemTextA(d, 101, "300");
            SetSel(d, 102, 2);
            Command(d, IDOK);
        },
        [&] { return LSettingsDialogRun(nullptr, s); }));
    EXPECT_EQ(std::tuple(s.bitRate, s.tuning), std::tuple(256, 2));
    EXPECT_EQ(SettingsReadInt("OpusEncoder", "BitRate", 0), 256);
}

TEST(EncoderDialogs, OggRestoreKeepsDiscardCommentsAndPicksStereo) {
    LOggEncodeSettings s{.quality = false, .stripComments = true};  // mono
    EXPECT_TRUE(Driving(
        "Ogg Encoder Settings",
        [](HWND d) {
            EXPECT_TRUE(On(d, 105) && !On(d, 102) && Sel(d, 110) == 0);
            EXPECT_TRUE(!Enabled(d, 108) && Enabled(d, 106) && Enabled(d, 107));
            Click(d, 111);
            EXPECT_TRUE(On(d, 102) && Enabled(d, 108) && !Enabled(d, 106) && Sel(d, 110) == 1);
            Command(d, IDOK);
        },
        [&] { return LSettingsDialogRun(nullptr, s); }));
    EXPECT_EQ(std::tuple(s.quality, s.channels, s.stripComments), std::tuple(true, 2, true));
    EXPECT_EQ(SettingsReadInt("OggEncoder", "Channels", 0), 2);
}

// The settings dialog as the main window shows it for the engine.
struct DialogUser : testutil::FakeHost {
    bool EditSettings(LSettingsRecordRef r) override { return LSettingsDialogRun(nullptr, r); }
};

TEST(EncoderDialogs, AacZeroQualityStoresOneHundredThroughTheOutputTable) {
    LAACEncodeSettings s{.vbrQuality = 250};
    s.Store();
    DialogUser user;
    EXPECT_TRUE(Driving(
        "AAC / M4A Encoder Settings",
        [](HWND d) {
            EXPECT_TRUE(On(d, 105) && !Enabled(d, 103) && ItemText(d, 108) == "250");
            SetDlgItemTextA(d, 108, "none");
            Click(d, 106);
            Command(d, IDOK);
        },
        [&] { return LGenSinkCheckSettings(".M4A", user, 0, 0) == 1; }));
    s.Load();
    EXPECT_EQ(std::tuple(s.vbrQuality, s.forceMPEG2), std::tuple(100, true));
}

TEST(RawDialog, RefusesRatesOutsideTheRangeAndStoresGoodOnes) {
    LRawSettings raw(LRawSettings::kRawSection);
    raw.Load();
    const auto run = [&] { return LSettingsDialogRun(nullptr, raw); };
    EXPECT_TRUE(Driving(
        "Raw Audio Settings",
        [](HWND dlg) {
            SetSel(dlg, 101, 2);
            SetSel(dlg, 103, 1);
            for (const char* rate : {"5999", "196001"}) {
                SetDlgItemTextA(dlg, 102, rate);
                Command(dlg, IDOK);
                EXPECT_TRUE(Answer("Error", IDOK, "between 6000 and 196000")) << rate;
            }
            SetDlgItemTextA(dlg, 102, "22050");
            Command(dlg, IDOK);
        },
        run));
    EXPECT_EQ(std::tuple(raw.sampleRate, raw.channels, raw.codec), std::tuple(22050u, 2, 2u));
    EXPECT_EQ(SettingsReadInt("RawAudio", "SampleRate", 0), 22050);
    EXPECT_FALSE(Driving(
        "Raw Audio Settings", [](HWND dlg) { Command(dlg, IDCANCEL); }, run));
    EXPECT_EQ(raw.sampleRate, 22050u);
}

// OK keeps an encodable format; one that cannot be encoded is refused and the chooser reopens.
TEST(AcmChooser, OkKeepsTheFormatOrRefusesOneThatCannotBeEncoded) {
    LWaveFileFormat format(8000, 1, "ALAW");
    EXPECT_TRUE(Driving(
        kTitle, [](HWND dlg) { Command(dlg, IDOK); },
        [&] { return LWaveFormatChoose(nullptr, format, 1, kTitle); }));
    EXPECT_EQ(format.Format().nChannels, 1);
    EXPECT_TRUE(format.TestSupportedRecord());
    format = testutil::MsAdpcmRecord(8000, 1);  // Wine's driver decodes but does not encode
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
