// The headless tamber front end as a user runs it: exit codes, messages, outputs checked with sox.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>

#include "store/tags.h"
#include "tests/support/testutil.h"

namespace fs = std::filesystem;

namespace {

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testutil::ScratchDir();
        fs::create_directories(dir_ + "/home");
    }
    // Runs tamber in the scratch folder without a terminal; stderr goes to err_.
    int Tamber(const std::string& args) {
        std::string cmd = "cd '" + dir_ + "' && " + env_ + " TAMBER_HOME='" + dir_ + "/home' '" +
                          TAMBER_BINARY_DIR "/tamber' " + args + " </dev/null 2>'" + dir_ +
                          "/stderr.txt'";
        int rc = testutil::Run(cmd);
        auto bytes = testutil::ReadFileBytes(dir_ + "/stderr.txt");
        err_.assign(bytes.begin(), bytes.end());
        return rc;
    }
    std::string Wav(const std::string& name, int32_t rate = 22050, int channels = 2) {
        testutil::WriteWav16(dir_ + "/" + name, rate, channels,
                             testutil::Sine(rate, channels, rate / 2, 330, 12000));
        return dir_ + "/" + name;
    }
    std::string Pcm(const std::string& path) {  // the samples as sox reads them
        return testutil::RunOutput("sox '" + path + "' -t raw - | md5sum");
    }
    bool Has(const std::string& text) { return err_.find(text) != std::string::npos; }
    std::string dir_, err_, env_;
};

TEST_F(Cli, ConvertsABatchIntoAFolder) {
    Wav("a.wav");
    Wav("b.wav", 8000, 1);
    EXPECT_EQ(Tamber("-format .wav -outfolder OUT a.wav b.wav -convert"), 0) << err_;
    EXPECT_EQ(Pcm(dir_ + "/OUT/a.wav"), Pcm(dir_ + "/a.wav"));
    EXPECT_EQ(Pcm(dir_ + "/OUT/b.wav"), Pcm(dir_ + "/b.wav"));
    EXPECT_EQ(fs::file_size(dir_ + "/OUT/b.wav"), 46u + 4000 * 2);  // no tag chunks without tags
    EXPECT_TRUE(Has("creating the output folder"));
    EXPECT_TRUE(Has("tamber: [2/2] b.wav\n")) << err_;  // the batch's progress, one line a file

    // The WAV format file turns every output into 8000 Hz mono, then mu-law.
    EXPECT_EQ(Tamber("-settings .wav PCM 8000 1 -outfolder OUT2 a.wav -convert"), 0) << err_;
    for (auto [opt, want] : {std::pair{"-r", "8000\n"}, {"-c", "1\n"}, {"-b", "16\n"}})
        EXPECT_EQ(testutil::RunOutput(std::string("soxi ") + opt + " '" + dir_ + "/OUT2/a.wav'"),
                  want);
    EXPECT_EQ(Tamber("-settings .wav ULAW 8000 1 -outfolder OUT3 a.wav -convert"), 0) << err_;
    EXPECT_NE(testutil::RunOutput("soxi -e '" + dir_ + "/OUT3/a.wav'").find("u-law"),
              std::string::npos);
    EXPECT_EQ(fs::file_size(dir_ + "/home/data/WavCodec.wff"), 1024u);
}

TEST_F(Cli, UsageAndIgnoredOptions) {
    EXPECT_EQ(Tamber(""), 2);
    for (const char* o : {"-hide", "-outfolder", "-format", "-overwrite", "-settings",
                          "-insettings", "-clear", "/install", "-convert", "-exit"})
        EXPECT_TRUE(Has(o)) << o;
    Wav("a.wav");
    EXPECT_EQ(Tamber("-frobnicate -format .bogus -outfolder OUT a.wav -convert -exit"), 0) << err_;
    EXPECT_TRUE(fs::exists(dir_ + "/OUT/a.wav"));
    // Ignored, but named.
    EXPECT_TRUE(Has("-format .bogus: unknown output format, keeping .wav\n")) << err_;
    EXPECT_TRUE(Has("unknown option -frobnicate")) << err_;
    const std::string tamber = "TAMBER_HOME='" + dir_ + "/home' '" TAMBER_BINARY_DIR "/tamber' ";
    for (const char* help : {"--help", "-h", "'-?'"}) {
        EXPECT_EQ(testutil::Run(tamber + help + " a.wav -convert >/dev/null 2>&1"), 0) << help;
        EXPECT_NE(testutil::RunOutput(tamber + help).find("usage: tamber"), std::string::npos);
    }
    EXPECT_EQ(testutil::RunOutput(tamber + "--version"), "tamber 1.0.0\n");
    // Absolute paths begin with "/" here and are files, not options.
    EXPECT_EQ(Tamber("-outfolder '" + dir_ + "/ABS' '" + dir_ + "/a.wav' -convert"), 0) << err_;
    EXPECT_TRUE(fs::exists(dir_ + "/ABS/a.wav"));
    // A settings list cut short stores nothing.
    EXPECT_EQ(Tamber("-settings .mp3 CBR 192"), 0);
    auto ini = testutil::ReadFileBytes(dir_ + "/home/config/machine.ini");
    EXPECT_EQ(std::string(ini.begin(), ini.end()).find("MP3Encoder"), std::string::npos);
}

// A conversion reads each settings file once and replaces it once, and makes no folder twice.
TEST_F(Cli, SettingsFilesAreTouchedOncePerRun) {
    if (!testutil::HaveTool("strace")) GTEST_SKIP() << "no strace";
    Wav("a.wav");
    ASSERT_EQ(Tamber("-outfolder OUT a.wav -convert"), 0) << err_;
    env_ =
        "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o trace.txt -e trace=openat,rename,mkdir env";
    ASSERT_EQ(Tamber("-overwrite ALWAYS -outfolder OUT a.wav -convert"), 0) << err_;
    const std::string trace = testutil::RunOutput("cat '" + dir_ + "/trace.txt'");
    auto count = [&](const std::string& pattern) {
        return std::stoi(testutil::RunOutput("grep -c '" + pattern + "' '" + dir_ + "/trace.txt'"));
    };
    for (std::string file : {"user.ini\"", "machine.ini\""}) {
        EXPECT_EQ(count("openat.*" + file + ".*O_RDONLY"), 1) << trace;
        EXPECT_LE(count("rename.*" + file), 1) << trace;
    }
    EXPECT_EQ(trace.find("mkdir("), std::string::npos) << trace;
}

TEST_F(Cli, OverwriteQuestionWithoutATerminalAnswersNo) {
    Wav("a.wav");
    Wav("b.wav");
    fs::create_directories(dir_ + "/OUT");
    testutil::WriteFileBytes(dir_ + "/OUT/a.wav", {'k'});
    EXPECT_EQ(Tamber("-outfolder OUT a.wav b.wav -convert"), 0) << err_;
    EXPECT_TRUE(Has("The output file \"OUT/a.wav\" already exists. Do you want to overwrite it?"));
    EXPECT_TRUE(Has("No"));
    EXPECT_EQ(fs::file_size(dir_ + "/OUT/a.wav"), 1u);
    EXPECT_TRUE(fs::exists(dir_ + "/OUT/b.wav"));
    // "CANCEL" stops the run: exit status 1, nothing more written.
    fs::remove(dir_ + "/OUT/b.wav");
    EXPECT_EQ(Tamber("-overwrite CANCEL -outfolder OUT a.wav b.wav -convert"), 1) << err_;
    EXPECT_FALSE(fs::exists(dir_ + "/OUT/b.wav"));
}

TEST_F(Cli, BadInputIsReportedAndLosesNothing) {
    // Missing and empty files are skipped with a note.
    testutil::WriteFileBytes(dir_ + "/empty.wav", {});
    EXPECT_EQ(Tamber("-outfolder OUT missing.wav empty.wav -convert"), 2);
    EXPECT_TRUE(Has("skipped \"missing.wav\""));
    EXPECT_TRUE(Has("no files to convert"));
    // A file without read permission (root reads everything, so only checked for others).
    if (geteuid() != 0) {
        Wav("locked.wav");
        fs::permissions(dir_ + "/locked.wav", fs::perms::none);
        EXPECT_EQ(Tamber("-outfolder OUT locked.wav -convert"), 2);
        EXPECT_TRUE(Has("skipped \"locked.wav\""));
        fs::permissions(dir_ + "/locked.wav", fs::perms::owner_all);
    }
    // A corrupt input ends the batch with its message.
    testutil::WriteFileBytes(dir_ + "/bad.wav", std::vector<uint8_t>(100, 0x55));
    const auto bad = testutil::ReadFileBytes(dir_ + "/bad.wav");
    EXPECT_EQ(Tamber("-outfolder OUT bad.wav -convert"), 2);
    EXPECT_TRUE(Has("Cannot open the file \"bad.wav\" because it is corrupt."));
    EXPECT_EQ(testutil::ReadFileBytes(dir_ + "/bad.wav"), bad);
    // An output folder that cannot be made.
    Wav("a.wav");
    testutil::WriteFileBytes(dir_ + "/file", {1});
    EXPECT_EQ(Tamber("-outfolder file/sub a.wav -convert"), 2);
    EXPECT_TRUE(Has("Unable to create folder."));
    // A 300-character path is cut at 259 characters: the file is not found, nothing overflows.
    std::string deep = dir_;
    while (deep.size() < 280) deep += "/" + std::string(40, 'd');
    fs::create_directories(deep);
    testutil::WriteWav16(deep + "/long.wav", 8000, 1, testutil::Sine(8000, 1, 800, 440, 5000));
    EXPECT_GE((deep + "/long.wav").size(), 290u);
    EXPECT_EQ(Tamber("-outfolder OUT '" + deep + "/long.wav' -convert"), 2);
    EXPECT_TRUE(Has("skipped"));
}

TEST_F(Cli, TwoInstancesDecodeIntoSeparateTemporarySlots) {
    if (!testutil::HaveTool("oggdec")) GTEST_SKIP() << "no Ogg decoder";
    ASSERT_EQ(testutil::Run("cd '" + dir_ +
                            "' && sox -n -r 8000 -c 1 short.ogg synth 0.3 sine 300 "
                            "&& sox -n -r 8000 -c 1 long.ogg synth 0.9 sine 600"),
              0);
    const std::string tamber = "TAMBER_HOME='" + dir_ + "/home' '" TAMBER_BINARY_DIR "/tamber' ";
    std::string script = "cd '" + dir_ + "' && for i in 1 2 3; do " + tamber +
                         "-overwrite ALWAYS -outfolder S$i short.ogg -convert & " + tamber +
                         "-overwrite ALWAYS -outfolder L$i long.ogg -convert; done; wait";
    ASSERT_EQ(testutil::Run("{ " + script + "; } </dev/null >/dev/null 2>&1"), 0);
    for (int i = 1; i <= 3; ++i) {
        std::string n = std::to_string(i);
        EXPECT_EQ(testutil::RunOutput("soxi -s '" + dir_ + "/S" + n + "/short.wav'"), "2400\n");
        EXPECT_EQ(testutil::RunOutput("soxi -s '" + dir_ + "/L" + n + "/long.wav'"), "7200\n");
    }
    for (const auto& e : fs::directory_iterator(dir_ + "/home/tmp"))
        EXPECT_NE(e.path().extension(), ".lck") << e.path();
}

TEST_F(Cli, TagsTravelBetweenWavAndMp3) {
    if (!testutil::HaveTool("lame")) GTEST_SKIP() << "no MP3 encoder";
    std::string in = Wav("song.wav", 44100, 2);
    LAudioTagData tags;
    tags.Set("TITLE", "First Light");
    tags.Set("ARTIST", "The Testers");
    ASSERT_TRUE(tags.WriteTags(in.c_str()));
    EXPECT_EQ(Tamber("-format .mp3 -outfolder MP3 song.wav -convert"), 0) << err_;
    EXPECT_FALSE(Has("LAME")) << err_;  // the encoder's banner stays with it while it succeeds
    std::string mp3 = dir_ + "/MP3/song.mp3";
    LAudioTagData id3;
    ASSERT_TRUE(id3.ReadTags(mp3.c_str()));
    EXPECT_STREQ(id3.Get("TITLE"), "First Light");
    EXPECT_STREQ(id3.Get("ARTIST"), "The Testers");
    EXPECT_NE(testutil::RunOutput("ffprobe -v quiet -show_entries format_tags=title -of "
                                  "default=nw=1:nk=1 '" +
                                  mp3 + "'")
                  .find("First Light"),
              std::string::npos);
    // And back to WAV: the artist lands in INFO, where ffprobe finds it.
    EXPECT_EQ(Tamber("-format .wav -outfolder BACK MP3/song.mp3 -convert"), 0) << err_;
    std::string back = dir_ + "/BACK/song.wav";
    LAudioTagData wav;
    ASSERT_TRUE(wav.ReadTags(back.c_str()));
    EXPECT_STREQ(wav.Get("TITLE"), "First Light");
    EXPECT_NE(testutil::RunOutput("ffprobe -v quiet -show_entries format_tags=artist -of "
                                  "default=nw=1:nk=1 '" +
                                  back + "'")
                  .find("The Testers"),
              std::string::npos);
    // Converted to another format, no tags are carried.
    EXPECT_EQ(Tamber("-format .au -outfolder AU song.wav -convert"), 0) << err_;
    EXPECT_FALSE(LAudioTagData().ReadTags((dir_ + "/AU/song.au").c_str()));
}

// Checksums of every file in a folder, by name ("" when the folder is empty or missing).
std::string Sums(const std::string& folder) {
    return testutil::RunOutput("cd '" + folder + "' 2>/dev/null && md5sum * 2>/dev/null");
}

// The parallel batch gives the outputs and exit status of one at a time, also when an entry in
// the middle is corrupt (entries already running then finish; no new one starts).
TEST_F(Cli, ParallelBatchMatchesOneAtATime) {
    std::string files;
    for (int i = 10; i < 50; ++i) {
        std::string name = "f" + std::to_string(i) + ".wav";
        testutil::WriteWav16(dir_ + "/" + name, 8000, 1 + i % 2,
                             testutil::Sine(8000, 1 + i % 2, 800, 100 + 10 * i, 9000));
        files += " " + name;
    }
    EXPECT_EQ(Tamber("-outfolder ONE -jobs 1" + files + " -convert"), 0) << err_;
    EXPECT_EQ(Tamber("-outfolder ALL" + files + " -convert"), 0) << err_;
    EXPECT_TRUE(Has("tamber: [40/40] ")) << err_;
    const std::string sums = Sums(dir_ + "/ALL");
    EXPECT_EQ(sums, Sums(dir_ + "/ONE"));
    EXPECT_EQ(std::count(sums.begin(), sums.end(), '\n'), 40);
    // Each file alone under GNU parallel, as the README shows it.
    if (testutil::HaveTool("parallel")) {
        EXPECT_EQ(testutil::Run("cd '" + dir_ + "' && ls f*.wav | TAMBER_HOME=home parallel " +
                                "--will-cite -j 4 '" TAMBER_BINARY_DIR "/tamber' -jobs 1 " +
                                "-outfolder GNU {} -convert 2>/dev/null"),
                  0);
        EXPECT_EQ(Sums(dir_ + "/GNU"), Sums(dir_ + "/ONE"));
    }

    testutil::WriteFileBytes(dir_ + "/f30.wav", std::vector<uint8_t>(100, 0x55));
    const int one = Tamber("-outfolder BAD1 -jobs 1" + files + " -convert");
    const int all = Tamber("-outfolder BADN -jobs 4" + files + " -convert");
    EXPECT_EQ(all, one);
    EXPECT_EQ(one, 2);
    EXPECT_TRUE(Has("Cannot open the file \"f30.wav\" because it is corrupt.")) << err_;
    // Everything one at a time wrote is there, and whatever more ran is the same conversion.
    const std::string good = Sums(dir_ + "/ONE"), many = Sums(dir_ + "/BADN");
    std::istringstream lines(Sums(dir_ + "/BAD1"));
    for (std::string line; std::getline(lines, line);)
        EXPECT_NE(many.find(line), std::string::npos);
    std::istringstream extra(many);
    for (std::string line; std::getline(extra, line);)
        EXPECT_NE(good.find(line), std::string::npos);
}

}  // namespace

// An encoder that fails (breaks off, or ends with an error code after taking everything) fails
// the conversion: no "done", no partial file left, and an old file the conversion was to
// replace is kept as it was.
TEST_F(Cli, FailingEncoderLosesNothingAndLeavesNothing) {
    Wav("m8.wav");
    fs::create_directories(dir_ + "/bin");
    fs::create_directories(dir_ + "/OUT");
    env_ = "PATH='" + dir_ + "/bin':\"$PATH\"";
    const std::vector<uint8_t> good(5000, 0x42);
    for (const char* body : {"echo bad block >&2; head -c 1000 > \"$out\"; exit 1",
                             "echo bad block; cat > \"$out\"; exit 2"}) {
        std::string lame = dir_ + "/bin/lame";
        testutil::WriteFileBytes(lame, {});
        {
            std::string script =
                std::string("#!/bin/sh\nfor a; do out=\"$a\"; done\n") + body + "\n";
            testutil::WriteFileBytes(lame, std::vector<uint8_t>(script.begin(), script.end()));
        }
        fs::permissions(lame, fs::perms::owner_all);
        fs::remove_all(dir_ + "/home");
        fs::create_directories(dir_ + "/home");
        fs::remove(dir_ + "/OUT/m8.mp3");
        EXPECT_EQ(Tamber("-format .mp3 -outfolder OUT m8.wav -convert"), 2) << body;
        EXPECT_FALSE(Has("done")) << err_;
        EXPECT_TRUE(Has("tamber: lame failed:\nbad block\n")) << err_;  // its own words now
        EXPECT_TRUE(fs::is_empty(dir_ + "/OUT")) << body;
        testutil::WriteFileBytes(dir_ + "/OUT/m8.mp3", good);
        EXPECT_EQ(Tamber("-overwrite ALWAYS -format .mp3 -outfolder OUT m8.wav -convert"), 2);
        EXPECT_EQ(testutil::ReadFileBytes(dir_ + "/OUT/m8.mp3"), good) << body;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_ + "/OUT"), fs::directory_iterator()),
                  1);
    }
    // The real encoder, whose output name is taken by a folder.
    env_.clear();
    if (!testutil::HaveTool("lame")) return;
    fs::remove(dir_ + "/OUT/m8.mp3");
    fs::create_directories(dir_ + "/OUT/m8.mp3");
    fs::remove_all(dir_ + "/home");
    fs::create_directories(dir_ + "/home");
    EXPECT_EQ(Tamber("-overwrite ALWAYS -format .mp3 -outfolder OUT m8.wav -convert"), 2);
    EXPECT_FALSE(Has("done")) << err_;
    EXPECT_TRUE(fs::is_directory(dir_ + "/OUT/m8.mp3"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ + "/OUT"), fs::directory_iterator()), 1);
}
