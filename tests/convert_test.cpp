// The conversion job and the command line in process: format tables, messages, overwrite rules.
#include <sys/resource.h>

#include <csignal>

#include "app/cmdline.h"
#include "convert/entrypaths.h"
#include "convert/formattable.h"
#include "convert/gensink.h"
#include "convert/gensource.h"
#include "convert/job.h"
#include "formats/aiff.h"
#include "store/settings.h"
#include "tests/support/fakehost.h"
#include "tests/support/kit.h"

namespace {

using TestHost = testutil::FakeHost;
using TestDialog = testutil::FakeProgress;

bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

class Convert : public ::testing::Test {
  protected:
    std::string Wav(const std::string& name, int32_t rate = 8000, int channels = 1,
                    int32_t frames = 4000) {
        std::string p = dir_ + "/" + name;
        testutil::WriteWav16(p, rate, channels, testutil::Sine(rate, channels, frames, 440, 9000));
        return p;
    }
    // A host converting into dir_/out.
    TestHost OutHost() {
        TestHost h;
        h.folder = dir_ + "/out";
        fs::create_directories(h.folder);
        return h;
    }
    int Job(TestHost& h, LProgressDialog& dlg) { return h.RunJob(dlg, &outcome_); }
    // Opening the input fails with one message, which is returned.
    std::string OpenError(const std::string& path) {
        TestDialog d;
        LSourceRef src;
        EXPECT_EQ(LGenSourceOpen(src, path.c_str(), &d), LPROCESS_FAILED) << path;
        EXPECT_TRUE(src && src->GetError() != 0) << path;
        EXPECT_EQ(d.errors.size(), 1u) << path;
        return d.errors.empty() ? "" : d.errors[0];
    }
    std::string dir_ = testutil::ScratchHome();
    int outcome_ = -1;
};

// A ".raw" file opens with the stored settings, without asking.
TEST_F(Convert, RawInputOpensWithTheStoredSettings) {
    TestDialog dlg;
    LSourceRef src;
    SettingsWriteInt("RawAudio", "SampleRate", 11025);
    SettingsWriteInt("RawAudio", "Channels", 2);
    std::string raw = dir_ + "/x.RAW";
    testutil::WriteFileBytes(raw, std::vector<uint8_t>(4000, 0));
    EXPECT_EQ(LGenSourceOpen(src, raw.c_str(), &dlg), LPROCESS_OK);
    EXPECT_EQ(std::tuple(src->GetSampleRate(), src->GetChannels()), std::tuple(11025, 2));
    EXPECT_TRUE(dlg.errors.empty());
}

TEST_F(Convert, OpenFailuresAndTheirMessages) {
    const std::string missing = dir_ + "/none";
    for (const char* ext : {".mp3", ".aiff", ".au", ".gsm", ".vox", ""})
        EXPECT_EQ(OpenError(missing + ext), "Cannot open the file \"" + missing + ext +
                                                "\". Check it exists and you have read access.");
    std::string junk = dir_ + "/junk.mp3", sony = dir_ + "/memo.dvf";
    testutil::WriteFileBytes(junk, std::vector<uint8_t>(3000, 0x11));
    EXPECT_EQ(OpenError(junk), "Cannot open the file \"" + junk +
                                   "\". It is possibly either corrupt or not a true layer-3 MPEG "
                                   "file.");
    testutil::WriteFileBytes(sony, {1, 2, 3});
    EXPECT_TRUE(StartsWith(OpenError(sony), "Cannot open the file \"" + sony +
                                                "\" because the codec is not installed. Please "
                                                "download the Sony codec following the links "
                                                "from "));

    // A refused plain AIFF is "corrupt"; an AIFF-C compression not read here is no damage.
    const std::string aifc = dir_ + "/x.aifc";
    LAifFile::OpenSink(aifc.c_str(), 8000, 1)->Write(std::vector<int32_t>(100).data(), 100);
    auto bytes = testutil::ReadFileBytes(aifc);
    bytes[27] = 24;
    testutil::WriteFileBytes(aifc, bytes);
    EXPECT_EQ(OpenError(aifc), "Cannot open the file \"" + aifc + "\" because it is corrupt.");
    std::memcpy(bytes.data() + 8, "AIFC", 4);
    bytes[19] = 22;  // COMM grows by the compression type
    bytes.insert(bytes.begin() + 38, {'i', 'm', 'a', '4'});
    testutil::WriteFileBytes(aifc, bytes);
    EXPECT_TRUE(StartsWith(OpenError(aifc),
                           "Cannot open the file \"" + aifc + "\". This means that either"));

    // Interactive: two failures in one batch show the user one message and clear the flag.
    uint8_t once = 1;
    TestHost user;
    LGenSourceInteraction ui{&once, user};
    LSourceRef src;
    EXPECT_EQ(LGenSourceOpen(src, (dir_ + "/a.xyz").c_str(), &ui), LPROCESS_FAILED);
    EXPECT_EQ(once, 0);
    EXPECT_EQ(LGenSourceOpen(src, (dir_ + "/b.xyz").c_str(), &ui), LPROCESS_FAILED);
    ASSERT_EQ(user.messages.size(), 1u);
    EXPECT_TRUE(StartsWith(user.messages[0], "Cannot open the file \"" + dir_ + "/a.xyz\"."));
}

TEST_F(Convert, DecodedInputsUseFreeTemporarySlots) {
    if (!testutil::HaveTool("oggdec")) GTEST_SKIP() << "no Ogg decoder";
    std::string a = dir_ + "/a.ogg", b = dir_ + "/b.ogg";
    ASSERT_EQ(testutil::Run("sox -n -r 8000 -c 1 '" + a + "' synth 0.3 sine 300 2>/dev/null"), 0);
    fs::copy_file(a, b);
    char temp[LMAX_PATH];
    LFile::GetTempFolder(temp);
    TestDialog d;
    LSourceRef first, second;
    ASSERT_EQ(LGenSourceOpen(first, a.c_str(), &d), LPROCESS_OK);
    EXPECT_FALSE(fs::exists(std::string(temp) + "/Temp1.lck"));     // the lock went with the open
    ASSERT_EQ(LGenSourceOpen(second, b.c_str(), &d), LPROCESS_OK);  // slot 1 is still held open
    EXPECT_TRUE(fs::exists(std::string(temp) + "/Temp2.wav"));
    // Without a temporary folder of its own no slot can be claimed, and the message says so.
    first.reset();
    second.reset();
    fs::remove_all(temp);
    fs::create_directory_symlink(dir_, temp);
    EXPECT_EQ(OpenError(a), "Cannot open the file \"" + a +
                                "\" because no private temporary folder could be set up for "
                                "decoding it.");
}

TEST_F(Convert, SinksByExtension) {
    TestHost user;
    // ".aif" is written, but not offered in the box.
    EXPECT_EQ(std::tuple(LGenSinkIsSupported(".WAV", user), LGenSinkIsSupported(".aif", user),
                         LOutputFormatIndex(".aif"), LGenSinkIsSupported(".xyz", user),
                         LGenSinkCheckSettings(".gsm", user, 0, 0),
                         LGenSinkCheckSettings(".xyz", user, 0, 0)),
              std::tuple(true, true, -1, false, 1, 0));
    // The raw dialog gets the stored record with the hints; a cancel stores nothing.
    EXPECT_EQ(LGenSinkCheckSettings(".raw", user, 22050, 2), 0);
    ASSERT_EQ(user.rawOffered.size(), 1u);
    EXPECT_EQ(user.rawOffered[0].sampleRate, 22050u);
    LSinkRef sink;
    LGenSinkOpenSink(sink, (dir_ + "/o.xyz").c_str(), 8000, 1);
    EXPECT_FALSE(sink);
    LGenSinkOpenSink(sink, (dir_ + "/o.GSM").c_str(), 44100, 2);  // the format fixes both
    ASSERT_TRUE(sink);
    EXPECT_EQ(std::tuple(sink->GetSampleRate(), sink->GetChannels()), std::tuple(8000, 1));
}

// Every output present and "NeverOverwrite": nothing converted, no error. No format, no job.
TEST_F(Convert, NeverOverwriteSkipsEveryPresentOutputAndUnwrittenFormatsFail) {
    SettingsWriteBool("Settings", "AlwaysPrompt", false);
    SettingsWriteBool("Settings", "NeverOverwrite", true);
    TestHost h = OutHost();
    h.Select({Wav("a.wav"), Wav("b.wav")});
    for (const char* n : {"a.wav", "b.wav"}) testutil::WriteFileBytes(h.folder + "/" + n, {'x'});
    TestDialog dlg;
    EXPECT_EQ(Job(h, dlg), LPROCESS_OK);
    EXPECT_EQ(std::tuple(outcome_, dlg.errors.size(), h.Images(), h.questions),
              std::tuple(LPROCESS_OK, 0u, std::vector<int>{3, 3}, 0));
    for (const char* n : {"a.wav", "b.wav"}) EXPECT_EQ(fs::file_size(h.folder + "/" + n), 1u) << n;
    h.format = ".xyz";
    EXPECT_EQ(Job(h, dlg), LPROCESS_FAILED);
    ASSERT_EQ(dlg.errors.size(), 1u);
    EXPECT_TRUE(
        StartsWith(dlg.errors[0], "The specified output format is not supported by Tamber."));
}

// A cancelled conversion onto the input itself leaves it as it was; "[Same as source file]".
TEST_F(Convert, SameFileIsKeptOnCancelAndSameFolderOutputs) {
    // An 8-bit input converted to 16-bit WAV in its own folder.
    std::string in = dir_ + "/b.wav";
    ASSERT_EQ(testutil::Run("sox -n -r 8000 -b 8 -c 1 '" + in + "' synth 0.5 sine 300"), 0);
    const auto original = testutil::ReadFileBytes(in);
    TestHost h;
    h.folder = dir_;
    h.Select({in});
    TestDialog cancelling;  // cancelled at the transfer's first block: no message
    cancelling.stopped = true;
    EXPECT_EQ(Job(h, cancelling), LPROCESS_STOPPED);
    EXPECT_EQ(std::tuple(cancelling.errors.size(), h.Images()),
              std::tuple(0u, std::vector<int>{3}));
    EXPECT_EQ(testutil::ReadFileBytes(in), original);
    EXPECT_FALSE(fs::exists(dir_ + "/_b.wav"));

    // "[Same as source file]" puts each output next to its input.
    h.folder = kSameAsSourceFolder;
    fs::create_directories(dir_ + "/sub");
    h.entries = {{Wav("sub/x.wav"), true, -1}};
    TestDialog same;
    EXPECT_EQ(Job(h, same), LPROCESS_OK);
    EXPECT_EQ(h.Images(), std::vector<int>{2});
}

// Each named value of the section is stored with the given number.
void Stored(const char* section, std::initializer_list<std::pair<const char*, int>> values) {
    for (auto [key, value] : values)
        EXPECT_EQ(SettingsReadInt(section, key, -99), value) << section << " " << key;
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
    Stored("MP3Encoder", {{"ConstantBitRate", 0}, {"VBRMinBitRate", 64}, {"VBRMaxBitRate", 192}});
    Stored("MP3Encoder", {{"VBRQuality", 2}, {"ChannelMode", 1}, {"ErrorProtection", 0}});

    c.Run({"-settings", ".mp3", "CBR", "192"});  // cut short
    Stored("MP3Encoder", {{"ConstantBitRate", 0}, {"CBRBitRate", 128}});
    EXPECT_EQ(c.records.mp3.cbrBitRate, 192);  // kept in memory only

    c.Run({"-SETTINGS", ".FLAC", "8", "48000", "2", "-settings", ".ogg", "Quality", "6", "2",
           "TRUE"});
    Stored("FlacEncoder", {{"Compression", 8}, {"SampleRate", 48000}, {"Channels", 2}});
    Stored("OggEncoder", {{"VBRQuality", 6}, {"StripComments", 1}});

    // A rate or channel count no encoder takes leaves the stored list as it was.
    for (auto bad : {std::vector<const char*>{"5", "-44100", "2"},
                     {"5", "44100", "-1"},
                     {"5", "44100", "3"},
                     {"5", "900000", "1"}}) {
        c.Run({"-settings", ".flac", bad[0], bad[1], bad[2], "-settings", ".wav", "PCM", bad[1],
               bad[2]});
        Stored("FlacEncoder", {{"SampleRate", 48000}, {"Channels", 2}});
        EXPECT_EQ(std::tuple(c.records.flac.sampleRate, c.records.flac.compression),
                  std::tuple(48000u, 8));
        char wff[LMAX_PATH];
        LGenWavFormatFilePath(wff);
        EXPECT_FALSE(std::filesystem::exists(wff)) << bad[1] << " " << bad[2];
    }
    // So does a compression level outside 0 to 8 (264 would wrap to 8 in a byte).
    for (const char* level : {"9", "-1", "264"}) {
        c.Run({"-settings", ".flac", level, "22050", "1", "-settings", ".flac", level});
        Stored("FlacEncoder", {{"SampleRate", 48000}});
        EXPECT_EQ(c.records.flac.compression, 8) << level;
    }
    c.Run({"-settings", ".flac", "5", "0", "0"});  // the source's rate and channels
    Stored("FlacEncoder", {{"Compression", 5}, {"SampleRate", 0}, {"Channels", 0}});
    c.Run({"-settings", ".m4a", "odd", "true", "true"});  // unknown mode: flags follow directly
    Stored("AACEncoder", {{"ForceMPEG2", 1}, {"DisableTNS", 1}, {"VBRQuality", 100}});
    // A section is stored from what is stored now, not from the records' older copy.
    SettingsWriteInt("AACEncoder", "VBRQuality", 80);
    c.Run({"-settings", ".aac", "ABR", "160", "false", "false"});
    EXPECT_EQ(SettingsReadInt("AACEncoder", "VBRQuality", 0), 80);

    c.Run({"-settings", ".opus", "24", "speech"});
    Stored("OpusEncoder", {{"BitRate", 24}, {"Tuning", 1}});
    // A bitrate or tuning the encoder does not take leaves the section as it was.
    for (auto bad : {std::pair{"5", "music"}, {"257", "2"}, {"64", "loud"}, {"64", "3"}}) {
        c.Run({"-settings", ".opus", bad.first, bad.second});
        Stored("OpusEncoder", {{"BitRate", 24}, {"Tuning", 1}});
    }
    c.Run({"-settings", ".OPUS", "256", "2"});
    Stored("OpusEncoder", {{"BitRate", 256}, {"Tuning", 2}});

    c.Run({"-insettings", ".vox", "0", "6000", "0", "-insettings", ".mp3", "CBR", "1", "1", "1",
           "1"});
    Stored("VoxAudio", {{"SampleRate", 6000}, {"Channels", 1}});
    Stored("MP3Encoder", {{"CBRBitRate", 128}});  // not an input format

    c.Run({"-overwrite", "never", "-overwrite", "maybe", "-bogus", "-format", ".OGG"});
    Stored("Settings", {{"AlwaysPrompt", 0}, {"NeverOverwrite", 1}});
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
    auto bytes = testutil::ReadFileBytes(path);  // its fields: the CLI's u-law run through soxi
    EXPECT_EQ(std::tuple(bytes.size(), bytes[0]), std::tuple(1024u, 7));
    c.Run({"-settings", ".wav", "PCM", "8000"});  // cut short: unchanged
    EXPECT_EQ(testutil::ReadFileBytes(path)[0], 7);
    c.Run({"-settings", ".wav", "alaw", "22050", "2"});
    bytes = testutil::ReadFileBytes(path);
    EXPECT_EQ(std::tuple(bytes[0], bytes[12]), std::tuple(6, 2));  // tag, align

    // A format not stored whole (a full disk) keeps the old file, says so, and nothing converts.
    const std::string wff = path;
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{512, old.rlim_max};
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

    // The job reads the whole block; an extra-bytes count beyond it is cut to what it holds.
    bytes[16] = 0xFF, bytes[17] = 0xFF;
    bytes[1000] = 0x5A;
    testutil::WriteFileBytes(path, bytes);
    alignas(4) uint8_t block[LWAV_FORMAT_FILE_BYTES];
    LGenLoadWavFormat(block, 44100, 2);
    EXPECT_EQ(std::tuple(block[0], block[16] | block[17] << 8, block[1000]),
              std::tuple(6, 1024 - 18, 0x5A));
    // A short file overlays the default record only as far as it reaches.
    testutil::WriteFileBytes(path, {7, 0});
    LGenLoadWavFormat(block, 11025, 1);
    EXPECT_EQ(std::tuple(block[0], block[2], block[4] | block[5] << 8, block[14]),
              std::tuple(7, 1, 11025, 16));
}

TEST_F(Convert, FilesPassInArgumentOrder) {
    std::string a = Wav("a.wav"), b = Wav("b.wav");
    Cli c;
    c.Run({"-clear", a.c_str(), b.c_str(), a.c_str()});
    ASSERT_EQ(c.host.entries.size(), 2u);
    // Option values are not entries, not even folders (nor are empty and missing files: the CLI
    // suite; a folder named by itself adds its tree: the CLI suite too).
    c.Run({a.c_str(), "-clear", "-outfolder", dir_.c_str(), b.c_str()});
    ASSERT_EQ(c.host.entries.size(), 1u);
    EXPECT_EQ(c.host.entries[0].path, b);
    // At most 32 arguments, each cut at 259 characters: no overflow.
    std::string longArg(300, 'x');
    std::vector<const char*> many(40, longArg.c_str());
    Cli e;
    e.Run(many);
    EXPECT_TRUE(e.host.entries.empty());
}

}  // namespace

// Several entries at once end as one at a time does: the same outputs byte for byte (an entry
// writing another's output waits for it), an unreadable input ending the batch at its place, and
// a Cancel that stops the running entries without a partial file and starts no new one.
TEST_F(Convert, ParallelBatchEndsAsOneAtATime) {
    if (!testutil::HaveTool("lame")) GTEST_SKIP() << "no MP3 encoder";
    SettingsWriteBool("Settings", "AlwaysPrompt", false);
    SettingsWriteBool("Settings", "AlwaysOverwrite", true);
    fs::create_directories(dir_ + "/x");
    // The second writes the first one's output, which it must not do before the first is done.
    std::vector<std::string> inputs = {Wav("in0.wav", 44100, 2, 44100 * 8),
                                       Wav("x/in0.wav", 22050, 1, 3000)};
    for (int i = 1; i < 5; ++i)
        inputs.push_back(Wav("in" + std::to_string(i) + ".wav", 44100, 2, 44100 * 8));
    struct Run {
        int status;
        int outcome;
        std::vector<int> images;
        std::map<std::string, testutil::Bytes> files;
    };
    auto run = [&](const std::vector<std::string>& in, int jobs, const std::string& out,
                   int cancelAtStart = -1) {
        struct Host : TestHost {
            TestDialog* dlg = nullptr;
            int cancelAt = -1;
            void EntryStarted(int index) override {
                TestHost::EntryStarted(index);
                if (index == cancelAt) dlg->stopped = true;
            }
        } h;
        h.folder = dir_ + "/" + out;
        h.format = ".mp3";
        fs::create_directories(h.folder);
        h.Select(in);
        h.jobs = jobs;
        TestDialog dlg;
        h.dlg = &dlg;
        h.cancelAt = cancelAtStart;
        Run r{h.RunJob(dlg, &outcome_), outcome_, h.Images(), {}};
        for (const auto& f : fs::directory_iterator(h.folder))
            r.files[f.path().filename().string()] = testutil::ReadFileBytes(f.path().string());
        return r;
    };
    const Run one = run(inputs, 1, "one"), three = run(inputs, 3, "three");
    EXPECT_EQ(std::tuple(three.status, three.outcome, three.images),
              std::tuple(LPROCESS_OK, LPROCESS_OK, std::vector<int>(6, 2)));
    EXPECT_EQ(three.files.size(), 5u);
    EXPECT_TRUE(three.files == one.files);

    std::vector<std::string> failing = inputs;
    failing[2] = dir_ + "/bad.wav";
    testutil::WriteFileBytes(failing[2], {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'A', 'V', 'E'});
    // Entries started before the failure was known may finish; none starts after it.
    const Run oneFailing = run(failing, 1, "f1"), threeFailing = run(failing, 3, "f3");
    EXPECT_EQ(std::tuple(threeFailing.status, threeFailing.outcome),
              std::tuple(oneFailing.status, oneFailing.outcome));
    EXPECT_EQ(std::vector<int>(threeFailing.images.begin(), threeFailing.images.begin() + 3),
              std::vector<int>(oneFailing.images.begin(), oneFailing.images.begin() + 3));
    for (const auto& [name, bytes] : oneFailing.files)
        EXPECT_EQ(threeFailing.files.count(name), 1u);
    for (const auto& [name, bytes] : threeFailing.files)
        EXPECT_TRUE(bytes == (oneFailing.files.count(name) ? oneFailing : one).files.at(name));

    // A Cancel as the third starts stops all three in the middle of their writing.
    std::vector<std::string> cancelling = inputs;
    for (int i : {0, 1, 2})
        cancelling[size_t(i)] = Wav("long" + std::to_string(i) + ".wav", 44100, 2, 44100 * 120);
    const Run cancelled = run(cancelling, 3, "cancelled", 2);
    EXPECT_EQ(std::tuple(cancelled.status, cancelled.outcome, cancelled.images),
              std::tuple(LPROCESS_STOPPED, LPROCESS_STOPPED, std::vector<int>{3, 3, 3, 0, 0, 0}));
    EXPECT_TRUE(cancelled.files.empty());
}
