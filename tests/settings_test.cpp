// The plain-text settings store: layout, parsing rules, records, history, and a broken folder.
#include "store/settings.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/combohistory.h"
#include "store/encsettings.h"
#include "store/registry.h"
#include "support/file.h"
#include "tests/support/kit.h"

namespace {

class Store : public ::testing::Test {
  protected:
    std::string home_ = testutil::ScratchHome("");
};

TEST_F(Store, TextValuesRoundTripWithTheirLayout) {
    SettingsWriteBool("Settings", "AlwaysPrompt", true);
    SettingsWriteInt("Settings", "OutputFormat", -7);
    SettingsWriteString("Settings", "OutputFolder", "C:\\out dir\\x=1%2\n[y]");
    EXPECT_NE(testutil::ReadText(home_ + "/config/machine.ini")
                  .find("[Software\\Velmora\\Tamber\\Settings]\nAlwaysPrompt=1\n"
                        "OutputFormat=-7\n"),
              std::string::npos);

    char out[LMAX_PATH];
    EXPECT_TRUE(SettingsReadString("Settings", "outputfolder", out, "def"));
    EXPECT_STREQ(out, "C:\\out dir\\x=1%2\n[y]");
    EXPECT_EQ(SettingsReadInt("SETTINGS", "OutputFormat", 3), -7);
    // A missing value gives the default and reports failure; the per-user store is separate.
    EXPECT_FALSE(UserSettingsReadString("Settings", "OutputFolder", out, "def"));
    EXPECT_STREQ(out, "def");
    // Overlong text is cut to the buffer.
    SettingsWriteString("Settings", "Long", std::string(LMAX_PATH + 140, 'x').c_str());
    SettingsReadString("Settings", "Long", out, "");
    EXPECT_EQ(std::string(out), std::string(LMAX_PATH - 1, 'x'));
}

TEST_F(Store, IntegerAndBooleanReadingRules) {
    const struct {
        const char* text;
        int32_t asInt;
        bool asBool;
    } cases[] = {{"abc", 0, true}, {"no", 0, true}, {"0abc", 0, false},
                 {"0", 0, false},  {"", 42, true},  {"  -12x", -12, true},
                 {"+7", 7, true},  {"1", 1, true},  {"99999999999", INT32_MAX, true}};
    for (const auto& c : cases) {
        SettingsWriteString("T", "V", c.text);
        EXPECT_EQ(SettingsReadInt("T", "V", 42), c.asInt) << '"' << c.text << '"';
        EXPECT_EQ(SettingsReadBool("T", "V", true), c.asBool) << '"' << c.text << '"';
    }
    SettingsWriteString("T", "V", "");
    EXPECT_FALSE(SettingsReadBool("T", "V", false));
}

TEST_F(Store, RecordsApplyTheirLoadRules) {
    LMP3EncodeSettings mp3;
    // A lowest VBR rate of 8 is refused with a top of 192, and kept with a top of 160.
    SettingsWriteInt("MP3Encoder", "VBRMaxBitRate", 192);
    SettingsWriteInt("MP3Encoder", "VBRMinBitRate", 8);
    mp3.Load();
    EXPECT_EQ(mp3.vbrMinBitRate, 32);
    SettingsWriteInt("MP3Encoder", "VBRMaxBitRate", 160);
    mp3.Load();
    EXPECT_EQ(mp3.vbrMinBitRate, 8);

    SettingsWriteInt("RawAudio", "Channels", 0);  // VOX input loads through the same record
    LRawSettings raw(LRawSettings::kRawSection);
    raw.Load();
    EXPECT_EQ(raw.channels, 1);

    // Stored by the command line's "-settings .flac" (the convert suite).
    SettingsWriteInt("FlacEncoder", "SampleRate", 48000);
    SettingsWriteInt("FlacEncoder", "Compression", 9);  // no level the encoder knows
    LFlacEncodeSettings flac;
    flac.Load();
    EXPECT_EQ(std::tuple(flac.compression, flac.sampleRate), std::tuple(4, 48000u));
}

TEST_F(Store, ComboHistoryMovesToTopAndKeepsNine) {
    using Items = std::vector<std::string>;
    for (const char* t : {"c", "b", "a"}) ComboHistorySaveText("OutputFolder", t);
    EXPECT_EQ(ComboHistoryItems("OutputFolder"), (Items{"a", "b", "c"}));
    ComboHistorySaveText("OutputFolder", "c");  // equal to item 3
    ComboHistorySaveText("OutputFolder", "");
    EXPECT_EQ(ComboHistoryItems("OutputFolder"), (Items{"c", "a", "b"}));
    for (int i = 1; i <= 6; ++i) ComboHistorySaveText("OutputFolder", std::to_string(i).c_str());
    EXPECT_EQ(ComboHistoryItems("OutputFolder"),
              (Items{"6", "5", "4", "3", "2", "1", "c", "a", "b"}));
    ComboHistorySaveText("OutputFolder", "new");  // Count is 9: the old item 9 drops out
    EXPECT_EQ(ComboHistoryItems("OutputFolder"),
              (Items{"new", "6", "5", "4", "3", "2", "1", "c", "a"}));
}

TEST_F(Store, ConcurrentWritersLoseNothing) {
    auto key = [](int k, int i) { return "K" + std::to_string(k) + "_" + std::to_string(i); };
    pid_t kids[2];
    for (int k = 0; k < 2; ++k) {
        kids[k] = fork();
        if (kids[k] == 0) {
            for (int i = 0; i < 40; ++i) SettingsWriteInt("Race", key(k, i).c_str(), i);
            _exit(0);
        }
    }
    for (pid_t p : kids) waitpid(p, nullptr, 0);
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 40; ++i) EXPECT_EQ(SettingsReadInt("Race", key(k, i).c_str(), -1), i);
}

TEST_F(Store, UnwritableFolderFallsBackToDefaults) {
    // The configuration folder cannot be created: writes are dropped, reads give defaults.
    testutil::WriteFileBytes(home_ + "/blocker", {1});
    setenv("TAMBER_HOME", (home_ + "/blocker").c_str(), 1);
    SettingsWriteInt("Settings", "OutputFormat", 5);
    EXPECT_EQ(SettingsReadInt("Settings", "OutputFormat", 9), 9);
    LMP3EncodeSettings mp3;
    mp3.cbrBitRate = 1;
    mp3.Load();
    EXPECT_EQ(mp3.cbrBitRate, 128);
    // A damaged store file still yields what can be read.
    setenv("TAMBER_HOME", home_.c_str(), 1);
    std::string junk = "garbage\n=x\n[\n[Software\\Velmora\\Tamber\\Settings]\nno equals\nA=1\n";
    ::mkdir((home_ + "/config").c_str(), 0755);
    testutil::WriteFileBytes(home_ + "/config/machine.ini",
                             std::vector<uint8_t>(junk.begin(), junk.end()));
    EXPECT_EQ(SettingsReadInt("Settings", "A", 0), 1);
}

}  // namespace
