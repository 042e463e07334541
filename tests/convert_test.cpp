// The conversion job and the command line in process: overwrite rules, the same-file case with
// a failing transfer, the option parsers, the list passes and bad input.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "store/settings.h"
#include "store/tags.h"
#include "convert/gensink.h"
#include "convert/gensource.h"
#include "convert/job.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"

namespace fs = std::filesystem;

namespace {

// A main window stand-in with a scripted answer to questions.
class TestHost : public LConvertHost {
  public:
    struct Entry {
        std::string path;
        bool selected = false;
        int image = -1;
    };
    std::vector<Entry> entries;
    std::string folder, format = ".wav";
    int answer = LANSWER_NO;
    int questions = 0;
    std::vector<std::string> messages;

    int EntryCount() override { return int(entries.size()); }
    void GetEntryPath(int i, char* p) override {
        std::snprintf(p, LMAX_PATH, "%s", entries[i].path.c_str());
    }
    bool IsEntrySelected(int i) override { return entries[i].selected; }
    void SelectAll() override {
        for (auto& e : entries) e.selected = true;
    }
    void SetEntryImage(int i, int image) override { entries[i].image = image; }
    void AddEntry(const char* p, uint32_t) override { entries.push_back({p, false, 0}); }
    void RemoveAllEntries() override { entries.clear(); }
    void GetOutputFolder(char* t) override { std::snprintf(t, LMAX_PATH, "%s", folder.c_str()); }
    void SetOutputFolder(const char* t) override { folder = t; }
    void GetOutputFormat(char* e) override { std::snprintf(e, LMAX_PATH, "%s", format.c_str()); }
    bool SelectOutputFormat(const char* e) override {
        int i = LOutputFormatIndex(e);
        if (i >= 0) format = kOutputFormats[i];
        return i >= 0;
    }
    LWindowHandle GetWindow() override { return nullptr; }
    bool IsHidden() override { return true; }
    void SetHidden(bool) override {}
    void CloseWindow() override {}
    int AskYesNoCancel(const char* text, const char*) override {
        ++questions;
        messages.push_back(text);
        return answer;
    }
    void ShowErrorMessage(const char* text, const char*) override { messages.push_back(text); }

    std::vector<int> Images() const {
        std::vector<int> v;
        for (const auto& e : entries) v.push_back(e.image);
        return v;
    }
};

// A progress surface that records errors and can cancel at the first block.
struct TestDialog : testutil::FakeProgress {
    explicit TestDialog(bool cancel = false) { stopped = cancel; }
};

class Convert : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testutil::ScratchDir();
        setenv("TAMBER_HOME", (dir_ + "/home").c_str(), 1);
    }
    std::string Wav(const std::string& name, int32_t rate = 8000, int channels = 1,
                    int32_t frames = 4000) {
        std::string p = dir_ + "/" + name;
        testutil::WriteWav16(p, rate, channels, testutil::Sine(rate, channels, frames, 440, 9000));
        return p;
    }
    void Touch(const std::string& p) { testutil::WriteFileBytes(p, {'x'}); }
    void Select(TestHost& h, const std::vector<std::string>& paths) {
        for (const auto& p : paths) h.entries.push_back({p, true, -1});
    }
    int Job(TestHost& h, LProgressDialog& dlg) {
        LConvertJob job;
        job.mainWindow = &h;
        std::snprintf(job.outputExtension, LMAX_PATH, "%s", h.format.c_str());
        int status = ProcessConvert(&dlg, &job);
        outcome_ = job.outcome;
        return status;
    }
    std::string dir_;
    int outcome_ = -1;
};

TEST_F(Convert, PromptedOnceAndTheAnswerHoldsForTheBatch) {
    TestHost h;
    h.folder = dir_ + "/out";
    fs::create_directories(h.folder);
    Select(h, {Wav("a.wav"), Wav("b.wav"), Wav("c.wav")});
    Touch(h.folder + "/a.wav");
    Touch(h.folder + "/c.wav");
    TestDialog dlg;
    EXPECT_EQ(Job(h, dlg), LPROCESS_OK);
    EXPECT_EQ(h.questions, 1);
    EXPECT_NE(h.messages[0].find("The output file \"" + h.folder +
                                 "/a.wav\" already exists. Do "
                                 "you want to overwrite it?"),
              std::string::npos);
    EXPECT_EQ(h.Images(), (std::vector<int>{3, 2, 3}));
    EXPECT_EQ(fs::file_size(h.folder + "/a.wav"), 1u);  // skipped: untouched
    EXPECT_GT(fs::file_size(h.folder + "/b.wav"), 8000u);
    EXPECT_TRUE(dlg.errors.empty());
}

TEST_F(Convert, CancelAllAndNeverOverwriteRules) {
    SettingsWriteBool("Settings", "AlwaysPrompt", false);
    SettingsWriteBool("Settings", "CancelAll", true);
    TestHost h;
    h.folder = dir_ + "/out";
    fs::create_directories(h.folder);
    Select(h, {Wav("a.wav"), Wav("b.wav"), Wav("c.wav"), Wav("d.wav")});
    h.entries.push_back({Wav("unselected.wav"), false, -1});
    Touch(h.folder + "/b.wav");
    TestDialog dlg;
    EXPECT_EQ(Job(h, dlg), LPROCESS_OK);
    EXPECT_EQ(outcome_, LPROCESS_STOPPED);
    EXPECT_EQ(h.Images(), (std::vector<int>{2, 3, 3, 3, 3}));
    EXPECT_FALSE(fs::exists(h.folder + "/c.wav"));
    EXPECT_EQ(h.questions, 0);

    // Every output present and "NeverOverwrite": nothing converted, no error.
    SettingsWriteBool("Settings", "CancelAll", false);
    SettingsWriteBool("Settings", "NeverOverwrite", true);
    for (const char* n : {"a.wav", "c.wav", "d.wav"}) Touch(h.folder + "/" + n);
    TestDialog dlg2;
    EXPECT_EQ(Job(h, dlg2), LPROCESS_OK);
    EXPECT_EQ(outcome_, LPROCESS_OK);
    EXPECT_TRUE(dlg2.errors.empty());
    for (const char* n : {"a.wav", "b.wav", "c.wav", "d.wav"})
        EXPECT_EQ(fs::file_size(h.folder + "/" + n), 1u) << n;
}

TEST_F(Convert, SameFileIsReplacedOnlyOnSuccess) {
    // An 8-bit input converted to 16-bit WAV in its own folder.
    std::string in = dir_ + "/b.wav";
    ASSERT_EQ(testutil::Run("sox -n -r 8000 -b 8 -c 1 '" + in + "' synth 0.5 sine 300"), 0);
    const auto original = testutil::ReadFileBytes(in);
    TestHost h;
    h.folder = dir_;
    h.format = ".wav";
    Select(h, {in});

    TestDialog cancelling(true);  // cancelled at the transfer's first block: no message
    EXPECT_EQ(Job(h, cancelling), LPROCESS_STOPPED);
    EXPECT_EQ(testutil::ReadFileBytes(in), original);
    EXPECT_FALSE(fs::exists(dir_ + "/_b.wav"));
    EXPECT_TRUE(cancelling.errors.empty());
    EXPECT_EQ(h.Images(), (std::vector<int>{3}));

    TestDialog ok;
    EXPECT_EQ(Job(h, ok), LPROCESS_OK);
    EXPECT_TRUE(ok.errors.empty()) << ok.errors[0];
    EXPECT_EQ(h.Images(), (std::vector<int>{2}));
    EXPECT_FALSE(fs::exists(dir_ + "/_b.wav"));
    EXPECT_EQ(testutil::RunOutput("soxi -b '" + in + "'"), "16\n");
    EXPECT_EQ(testutil::RunOutput("soxi -s '" + in + "'"), "4000\n");

    // Another spelling of the same folder is still the same file: the input is never truncated
    // while it is read.
    h.folder = dir_ + "/./";
    h.entries = {{in, true, -1}};
    SettingsWriteBool("Settings", "AlwaysPrompt", false);
    SettingsWriteBool("Settings", "AlwaysOverwrite", true);
    const auto before = testutil::ReadFileBytes(in);
    TestDialog spelled;
    EXPECT_EQ(Job(h, spelled), LPROCESS_OK);
    EXPECT_EQ(h.Images(), (std::vector<int>{2}));
    EXPECT_EQ(testutil::ReadFileBytes(in), before);  // 16-bit to 16-bit: the same bytes again
    EXPECT_FALSE(fs::exists(dir_ + "/_b.wav"));

    // "[Same as source file]" puts each output next to its input.
    h.folder = kSameAsSourceFolder;
    h.format = ".wav";
    fs::create_directories(dir_ + "/sub");
    h.entries = {{Wav("sub/x.wav"), true, -1}};
    TestDialog same;
    EXPECT_EQ(Job(h, same), LPROCESS_OK);
    EXPECT_EQ(h.Images(), (std::vector<int>{2}));
    EXPECT_FALSE(fs::exists(dir_ + "/sub/_x.wav"));
}

TEST_F(Convert, OpenFailureEndsTheBatchWithItsMessage) {
    TestHost h;
    h.folder = dir_ + "/out";
    fs::create_directories(h.folder);
    std::string corrupt = dir_ + "/corrupt.wav";
    testutil::WriteFileBytes(corrupt, std::vector<uint8_t>(64, 7));
    Select(h, {Wav("a.wav"), corrupt, Wav("c.wav"), dir_ + "/missing.wav"});
    TestDialog dlg;
    EXPECT_EQ(Job(h, dlg), LPROCESS_OK);
    EXPECT_EQ(outcome_, LPROCESS_FAILED);
    EXPECT_EQ(h.Images(), (std::vector<int>{2, 3, 0, 0}));
    ASSERT_EQ(dlg.errors.size(), 1u);
    EXPECT_EQ(dlg.errors[0], "Cannot open the file \"" + corrupt + "\" because it is corrupt.");

    h.entries = {{dir_ + "/missing.wav", true, -1}};
    TestDialog dlg2;
    Job(h, dlg2);
    ASSERT_EQ(dlg2.errors.size(), 1u);
    EXPECT_EQ(dlg2.errors[0], "Cannot open the file \"" + dir_ +
                                  "/missing.wav\". Check it exists and you have read access.");

    // An output format nobody writes.
    h.entries = {{Wav("a.wav"), true, -1}};
    h.format = ".xyz";
    TestDialog dlg3;
    EXPECT_EQ(Job(h, dlg3), LPROCESS_FAILED);
    ASSERT_EQ(dlg3.errors.size(), 1u);
    EXPECT_EQ(dlg3.errors[0].rfind(
                  "The specified output format is not supported by Tamber. Please see ", 0),
              0u);
}

TEST_F(Convert, TagsTravelFromWavToWav) {
    std::string in = Wav("t.wav");
    LAudioTagData tags;
    tags.Set("TITLE", "Speech");
    tags.Set("ARTIST", "Someone");
    ASSERT_TRUE(tags.WriteTags(in.c_str()));
    TestHost h;
    h.folder = dir_ + "/out";
    fs::create_directories(h.folder);
    Select(h, {in});
    TestDialog dlg;
    EXPECT_EQ(Job(h, dlg), LPROCESS_OK);
    LAudioTagData back;
    ASSERT_TRUE(back.ReadTags((h.folder + "/t.wav").c_str()));
    EXPECT_STREQ(back.Get("TITLE"), "Speech");
    EXPECT_STREQ(back.Get("ARTIST"), "Someone");
}

// Runs the command line on a fresh host.
struct Cli {
    TestHost host;
    LSettingsRecords records;
    LCommandResult Run(std::vector<const char*> args) {
        args.insert(args.begin(), "tamber");
        LCommandLine cl(host, records);
        return cl.Run(int(args.size()), args.data());
    }
};

TEST_F(Convert, SettingsOptionsStoreCompleteListsOnly) {
    Cli c;
    c.Run({"-settings", ".mp3", "VBR", "64", "192", "2", "joint", "false"});
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "ConstantBitRate", 9), 0);
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "VBRMinBitRate", 0), 64);
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "VBRMaxBitRate", 0), 192);
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "VBRQuality", 0), 2);
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "ChannelMode", 0), 1);
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "ErrorProtection", 9), 0);

    c.Run({"-settings", ".mp3", "CBR", "192"});  // cut short
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "ConstantBitRate", 9), 0);
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "CBRBitRate", 7), 128);
    EXPECT_EQ(c.records.mp3.cbrBitRate, 192);  // kept in memory only

    c.Run({"-SETTINGS", ".FLAC", "8", "48000", "2", "-settings", ".ogg", "Quality", "6", "2",
           "TRUE"});
    EXPECT_EQ(SettingsReadInt("FlacEncoder", "Compression", 0), 8);
    EXPECT_EQ(SettingsReadInt("FlacEncoder", "SampleRate", 0), 48000);
    EXPECT_EQ(SettingsReadInt("FlacEncoder", "Channels", 0), 2);
    EXPECT_EQ(SettingsReadInt("OggEncoder", "VBRQuality", 0), 6);
    EXPECT_EQ(SettingsReadInt("OggEncoder", "StripComments", 0), 1);

    // A rate or channel count no encoder takes leaves the stored list as it was.
    for (auto bad : {std::vector<const char*>{"5", "0", "0"},
                     {"5", "-44100", "2"},
                     {"5", "44100", "0"},
                     {"5", "44100", "3"},
                     {"5", "900000", "1"}}) {
        c.Run({"-settings", ".flac", bad[0], bad[1], bad[2], "-settings", ".wav", "PCM", bad[1],
               bad[2]});
        EXPECT_EQ(SettingsReadInt("FlacEncoder", "SampleRate", 0), 48000) << bad[1];
        EXPECT_EQ(SettingsReadInt("FlacEncoder", "Channels", 0), 2) << bad[2];
        EXPECT_EQ(c.records.flac.sampleRate, 48000u);
        EXPECT_EQ(c.records.flac.compression, 8);
        char wff[LMAX_PATH];
        LGenWavFormatFilePath(wff);
        EXPECT_FALSE(std::filesystem::exists(wff)) << bad[1] << " " << bad[2];
    }
    // So does a compression level outside 0 to 8 (264 would wrap to 8 in a byte).
    for (const char* level : {"9", "-1", "264"}) {
        c.Run({"-settings", ".flac", level, "22050", "1", "-settings", ".flac", level});
        EXPECT_EQ(SettingsReadInt("FlacEncoder", "SampleRate", 0), 48000) << level;
        EXPECT_EQ(c.records.flac.compression, 8) << level;
    }
    c.Run({"-settings", ".m4a", "odd", "true", "true"});  // unknown mode: flags follow directly
    EXPECT_EQ(SettingsReadInt("AACEncoder", "ForceMPEG2", 0), 1);
    EXPECT_EQ(SettingsReadInt("AACEncoder", "DisableTNS", 0), 1);
    EXPECT_EQ(SettingsReadInt("AACEncoder", "VBRQuality", 0), 100);
    // A section is stored from what is stored now, not from the records' older copy.
    SettingsWriteInt("AACEncoder", "VBRQuality", 80);
    c.Run({"-settings", ".aac", "ABR", "160", "false", "false"});
    EXPECT_EQ(SettingsReadInt("AACEncoder", "VBRQuality", 0), 80);

    c.Run({"-insettings", ".vox", "0", "6000", "0", "-insettings", ".mp3", "CBR", "1", "1", "1",
           "1"});
    EXPECT_EQ(SettingsReadInt("VoxAudio", "SampleRate", 0), 6000);
    EXPECT_EQ(SettingsReadInt("VoxAudio", "Channels", 0), 1);
    EXPECT_EQ(SettingsReadInt("MP3Encoder", "CBRBitRate", 7), 128);  // not an input format

    c.Run({"-overwrite", "never", "-overwrite", "maybe", "-bogus", "-format", ".OGG"});
    EXPECT_FALSE(SettingsReadBool("Settings", "AlwaysPrompt", true));
    EXPECT_TRUE(SettingsReadBool("Settings", "NeverOverwrite", false));
    EXPECT_EQ(c.host.format, ".ogg");
    c.Run({"-format", ".xyz", "-outfolder"});  // unknown format, missing value
    EXPECT_EQ(c.host.format, ".ogg");
}

TEST_F(Convert, WavFormatFileFromTheCommandLine) {
    Cli c;
    c.Run({"-settings", ".wav", "ULAW", "8000", "1"});
    char path[LMAX_PATH];
    LGenWavFormatFilePath(path);
    EXPECT_EQ(std::string(path), dir_ + "/home/data/WavCodec.wff");
    auto bytes = testutil::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 1024u);
    const std::vector<uint8_t> head = {7,    0, 1, 0, 0x40, 0x1F, 0, 0, 0x40,
                                       0x1F, 0, 0, 1, 0,    8,    0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 18), head);
    c.Run({"-settings", ".wav", "PCM", "8000"});  // cut short: unchanged
    EXPECT_EQ(testutil::ReadFileBytes(path)[0], 7);
    c.Run({"-settings", ".wav", "alaw", "22050", "2"});
    bytes = testutil::ReadFileBytes(path);
    EXPECT_EQ(bytes[0], 6);
    EXPECT_EQ(bytes[12], 2);  // block align

    // A format that cannot be stored whole (a file-size limit fails writes as a full disk does)
    // keeps the previous file, says so, and the conversion asked for does not run.
    const std::string wff = path;
    rlimit old{}, small{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    small = {512, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    LCommandResult r =
        c.Run({"-settings", ".wav", "ULAW", "8000", "1", Wav("in.wav").c_str(), "-convert"});
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(r.settingsFailed && r.outcome == LPROCESS_FAILED);
    EXPECT_EQ(c.host.Images(), std::vector<int>{LENTRY_NONE});
    EXPECT_EQ(testutil::ReadFileBytes(wff), bytes);
    EXPECT_FALSE(fs::exists(wff + ".new"));
    EXPECT_EQ(c.host.messages,
              std::vector<std::string>{
                  "Cannot save the WAV output format to the file \"" + wff +
                  "\". Check there is free space on the disk and you have write access."});

    // The job reads the file as the codec layer does: the whole block, and an extra-bytes
    // count that claims more than the block holds is cut to what it holds.
    bytes[16] = 0xFF, bytes[17] = 0xFF;
    bytes[1000] = 0x5A;
    testutil::WriteFileBytes(path, bytes);
    alignas(4) uint8_t block[LWAV_FORMAT_FILE_BYTES];
    LGenLoadWavFormat(block, 44100, 2);
    EXPECT_EQ(block[0], 6);
    EXPECT_EQ(block[16] | block[17] << 8, 1024 - 18);
    EXPECT_EQ(block[1000], 0x5A);
    // A short file overlays the default record only as far as it reaches.
    testutil::WriteFileBytes(path, {7, 0});
    LGenLoadWavFormat(block, 11025, 1);
    EXPECT_EQ(block[0], 7);
    EXPECT_EQ(block[2], 1);
    EXPECT_EQ(block[4] | block[5] << 8, 11025);
    EXPECT_EQ(block[14], 16);
}

TEST_F(Convert, FilesPassInArgumentOrder) {
    std::string a = Wav("a.wav"), b = Wav("b.wav");
    Cli c;
    c.Run({"-clear", a.c_str(), b.c_str(), a.c_str()});
    ASSERT_EQ(c.host.entries.size(), 2u);
    c.Run({a.c_str(), "-clear", b.c_str()});
    ASSERT_EQ(c.host.entries.size(), 1u);
    EXPECT_EQ(c.host.entries[0].path, b);
    // Option values, folders, empty and missing files are not entries.
    std::string empty = dir_ + "/empty.wav";
    testutil::WriteFileBytes(empty, {});
    Cli d;
    auto r = d.Run({"-outfolder", dir_.c_str(), empty.c_str(), (dir_ + "/missing.wav").c_str()});
    EXPECT_TRUE(d.host.entries.empty());
    EXPECT_EQ(r.skippedFiles, 2);
    // At most 32 arguments, each cut at 259 characters: no overflow.
    std::string longArg(300, 'x');
    std::vector<const char*> many(40, longArg.c_str());
    Cli e;
    e.Run(many);
    EXPECT_TRUE(e.host.entries.empty());
}

}  // namespace
