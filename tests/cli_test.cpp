// The headless tamber front end as a user runs it, and where the world around it fails.
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <utility>

#include "tags/tagdata.h"
#include "tests/support/kit.h"

namespace {

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = work_ = testutil::ScratchDir();
        for (const char* d : {"/home", "/bin"}) fs::create_directories(dir_ + d);
    }
    // tamber in work_ with dir_/bin first on PATH, no terminal, standard error added to dir_/err;
    // limitKiB >= 0 caps every file written (a full disk); prefix goes before the program.
    std::string Command(const std::string& args, long limitKiB = -1, const char* prefix = "") {
        std::string limit =
            limitKiB < 0 ? "" : "trap '' XFSZ; ulimit -f " + std::to_string(limitKiB) + "; ";
        return "cd '" + work_ + "' && TAMBER_HOME='" + dir_ + "/home' PATH='" + dir_ +
               "/bin':\"$PATH\" bash -c \"" + limit + "exec " + prefix +
               " '" TAMBER_BINARY_DIR "/tamber' " + args + "\" </dev/null >/dev/null 2>>'" + dir_ +
               "/err'";
    }
    // Runs one tamber; its standard error goes to err_.
    int Tamber(const std::string& args, long limitKiB = -1, const char* prefix = "") {
        fs::remove(dir_ + "/err");
        int rc = testutil::Run(Command(args, limitKiB, prefix));
        err_ = testutil::ReadText(dir_ + "/err");
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
    void StandIn(const char* name, const std::string& body) {
        testutil::StandIn(dir_ + "/bin/" + name, body);
    }
    std::string dir_, work_, err_;
};

// An absolute path begins with "/" here and is a file, not an option; unknown options are named.
TEST_F(Cli, ConvertsABatchIntoAFolder) {
    Wav("a.wav");
    Wav("b.wav", 8000, 1);
    const std::string a = "'" + dir_ + "/a.wav'";
    EXPECT_EQ(Tamber("-frobnicate -format .bogus -outfolder OUT " + a + " b.wav -convert -exit"), 0)
        << err_;
    EXPECT_EQ(Pcm(dir_ + "/OUT/a.wav") + Pcm(dir_ + "/OUT/b.wav"),
              Pcm(dir_ + "/a.wav") + Pcm(dir_ + "/b.wav"));
    EXPECT_EQ(fs::file_size(dir_ + "/OUT/b.wav"), 46u + 4000 * 2);  // no tag chunks without tags
    // The batch's progress: one line a file.
    EXPECT_TRUE(Has("creating the output folder") && Has("tamber: [2/2] b.wav\n") &&
                Has("-format .bogus: unknown output format, keeping .wav\n") &&
                Has("unknown option -frobnicate"))
        << err_;
}

TEST_F(Cli, Usage) {
    EXPECT_EQ(Tamber(""), 2);
    const std::string tamber = "TAMBER_HOME='" + dir_ + "/home' '" TAMBER_BINARY_DIR "/tamber' ";
    for (const char* help : {"--help", "-h", "'-?'"}) {
        EXPECT_EQ(testutil::Run(tamber + help + " a.wav -convert >/dev/null 2>&1"), 0) << help;
        EXPECT_NE(testutil::RunOutput(tamber + help).find("usage: tamber"), std::string::npos);
        EXPECT_NE(testutil::RunOutput(tamber + help).find("  -keepfolders "), std::string::npos);
    }
    EXPECT_EQ(testutil::RunOutput(tamber + "--version"), "tamber 1.05\n");
}

// A conversion reads each settings file once and replaces it once, and makes no folder twice.
TEST_F(Cli, SettingsFilesAreTouchedOncePerRun) {
    if (!testutil::HaveTool("strace")) GTEST_SKIP() << "no strace";
    Wav("a.wav");
    ASSERT_EQ(Tamber("-outfolder OUT a.wav -convert"), 0) << err_;
    ASSERT_EQ(Tamber("-overwrite ALWAYS -outfolder OUT a.wav -convert", -1,
                     "env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o trace.txt -e "
                     "trace=openat,rename,mkdir,fsync"),
              0)
        << err_;
    const std::string trace = testutil::RunOutput("cat '" + dir_ + "/trace.txt'");
    auto count = [&](const std::string& pattern) {
        return std::stoi(testutil::RunOutput("grep -c '" + pattern + "' '" + dir_ + "/trace.txt'"));
    };
    for (std::string file : {"user.ini\"", "machine.ini\""}) {
        EXPECT_EQ(count("openat.*" + file + ".*O_RDONLY"), 1) << trace;
        EXPECT_LE(count("rename.*" + file), 1) << trace;
    }
    EXPECT_EQ(trace.find("mkdir("), std::string::npos) << trace;
    // Each replacing file (the output, the settings) is on the disk before it takes its name.
    EXPECT_GE(count("fsync("), count("rename(")) << trace;
}

// Asked once (for a.wav); the answer holds for the batch (c.wav is skipped unasked).
TEST_F(Cli, OverwriteQuestionWithoutATerminalAnswersNo) {
    fs::create_directories(dir_ + "/OUT");
    for (const char* n : {"a.wav", "b.wav", "c.wav"}) Wav(n);
    for (const char* n : {"/OUT/a.wav", "/OUT/c.wav"}) testutil::WriteFileBytes(dir_ + n, {'k'});
    EXPECT_EQ(Tamber("-outfolder OUT a.wav b.wav c.wav -convert"), 0) << err_;
    EXPECT_TRUE(Has("The output file \"OUT/a.wav\" already exists. Do you want to overwrite it?") &&
                Has("No") && err_.find("already exists") == err_.rfind("already exists"))
        << err_;
    EXPECT_EQ(fs::file_size(dir_ + "/OUT/a.wav") + fs::file_size(dir_ + "/OUT/c.wav"), 2u);
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
    EXPECT_TRUE(Has("skipped \"missing.wav\"") && Has("no files to convert")) << err_;
    // An output folder that cannot be made.
    Wav("a.wav");
    testutil::WriteFileBytes(dir_ + "/file", {1});
    EXPECT_EQ(Tamber("-outfolder file/sub a.wav -convert"), 2);
    EXPECT_TRUE(Has("Unable to create folder."));
}

// Tags travel between WAV and MP3 (where the peer finds them too), and no further.
TEST_F(Cli, TagsTravelBetweenWavAndMp3) {
    if (!testutil::HaveTool("lame")) GTEST_SKIP() << "no MP3 encoder";
    LAudioTagData tags;
    tags.Set("TITLE", "First Light");
    tags.Set("ARTIST", "The Testers");
    ASSERT_TRUE(tags.WriteTags(Wav("song.wav", 44100, 2).c_str()));
    auto read = [&](const std::string& file, const char* tag) {
        LAudioTagData t;
        return t.ReadTags((dir_ + file).c_str()) ? std::string(t.Get(tag)) : "(none)";
    };
    EXPECT_EQ(Tamber("-format .mp3 -outfolder MP3 song.wav -convert"), 0) << err_;
    EXPECT_FALSE(Has("LAME")) << err_;  // the encoder's banner stays with it while it succeeds
    EXPECT_EQ(read("/MP3/song.mp3", "TITLE") + "|" + read("/MP3/song.mp3", "ARTIST"),
              "First Light|The Testers");
    EXPECT_EQ(testutil::RunOutput("ffprobe -v quiet -show_entries format_tags=title -of "
                                  "default=nw=1:nk=1 '" +
                                  dir_ + "/MP3/song.mp3'"),
              "First Light\n");
    EXPECT_EQ(Tamber("-format .wav -outfolder BACK MP3/song.mp3 -convert"), 0) << err_;
    EXPECT_EQ(read("/BACK/song.wav", "TITLE"), "First Light");
    EXPECT_EQ(Tamber("-format .au -outfolder AU song.wav -convert"), 0) << err_;
    EXPECT_EQ(read("/AU/song.au", "TITLE"), "(none)");
}

// Checksums of every file in a folder, by name ("" when the folder is empty or missing).
std::string Sums(const std::string& folder) {
    return testutil::RunOutput("cd '" + folder + "' 2>/dev/null && md5sum * 2>/dev/null");
}

// A folder adds its tree; with -keepfolders each output keeps its place below the output folder
// (both ways of converting), without it they go into the output folder itself. A link to a file
// is that file, a link to a folder is not entered, and an empty file is no entry.
TEST_F(Cli, FolderTreesAreAddedAndMirrored) {
    const std::string one = "Music/Band/First/01 Track.wav", two = "Music/Band/Second/01 Track.wav";
    for (const std::string& f : {one, two})
        fs::create_directories(fs::path(dir_ + "/" + f).parent_path());
    Wav(one);
    Wav(two, 8000, 1);
    testutil::WriteFileBytes(dir_ + "/Music/notes.txt", testutil::Bytes(9, uint8_t('x')));
    testutil::WriteFileBytes(dir_ + "/Music/empty.wav", {});
    fs::create_symlink(dir_ + "/" + one, dir_ + "/Music/Band/Linked.wav");
    fs::create_directory_symlink(dir_ + "/Music/Band", dir_ + "/Music/Loop");
    EXPECT_EQ(Tamber("-outfolder FLAT Music/ -convert"), 0) << err_;
    EXPECT_TRUE(fs::exists(dir_ + "/FLAT/01 Track.wav") && !fs::exists(dir_ + "/FLAT/Band"));
    EXPECT_EQ(Pcm(dir_ + "/FLAT/Linked.wav"), Pcm(dir_ + "/" + one));
    EXPECT_FALSE(fs::exists(dir_ + "/FLAT/empty.wav") || Has("empty.wav") || Has("Loop")) << err_;
    EXPECT_TRUE(Has("already exists")) << err_;  // the second one met the overwrite rule
    EXPECT_EQ(Tamber("-keepfolders -jobs 1 -outfolder ONE Music -convert"), 0) << err_;
    EXPECT_EQ(Tamber("-outfolder ALL Music -convert"), 0) << err_;  // stored, and in parallel
    for (const char* out : {"/ONE/", "/ALL/"}) {
        for (const std::string& f : {one, two})
            EXPECT_EQ(Pcm(dir_ + out + f.substr(6)), Pcm(dir_ + "/" + f)) << out << f;
        EXPECT_FALSE(fs::exists(dir_ + out + "notes.txt"));
    }
}

// The parallel batch gives what one at a time gives, also past a corrupt entry (no new one starts).
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
    EXPECT_EQ(Tamber("-outfolder BAD1 -jobs 1" + files + " -convert"), 2);
    EXPECT_EQ(Tamber("-outfolder BADN -jobs 4" + files + " -convert"), 2);
    EXPECT_TRUE(Has("Cannot open the file \"f30.wav\" because it is corrupt.")) << err_;
    EXPECT_EQ(testutil::ReadFileBytes(dir_ + "/f30.wav"), std::vector<uint8_t>(100, 0x55));
    // Everything one at a time wrote is there, and whatever more ran is the same conversion.
    const std::string good = Sums(dir_ + "/ONE"), many = Sums(dir_ + "/BADN"),
                      upTo = Sums(dir_ + "/BAD1");
    EXPECT_EQ(std::count(upTo.begin(), upTo.end(), '\n'), 20);  // f10 to f29: none after f30
    std::istringstream lines(upTo);
    for (std::string line; std::getline(lines, line);)
        EXPECT_NE(many.find(line), std::string::npos);
    std::istringstream extra(many);
    for (std::string line; std::getline(extra, line);)
        EXPECT_NE(good.find(line), std::string::npos);
}

// An encoder breaking off or ending with an error: no "done", no partial file, the old one kept.
TEST_F(Cli, FailingEncoderLosesNothingAndLeavesNothing) {
    Wav("m8.wav");
    fs::create_directories(dir_ + "/OUT");
    const std::vector<uint8_t> good(5000, 0x42);
    for (const char* body : {"echo bad block >&2; head -c 1000 > \"$out\"; exit 1",
                             "echo bad block; cat > \"$out\"; exit 2"}) {
        StandIn("lame", std::string("for a; do out=\"$a\"; done\n") + body);
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
}

// Where the world fails (full disk, read-only folder, crashes, kills), what the user had stays.
class Faults : public Cli {
  protected:
    void SetUp() override {
        Cli::SetUp();
        work_ = dir_ + "/w";
        fs::create_directories(work_);
        testutil::WriteWav16(w("x.wav"), 22050, 2, testutil::Sine(22050, 2, 66150, 440, 9000));
    }
    std::string w(const std::string& name) { return work_ + "/" + name; }
    // An input that only its extension's decoder takes: no reader knows its bytes by content.
    void Opaque(const std::string& name) {
        testutil::WriteFileBytes(w(name), std::vector<uint8_t>(20000, 0x55));
    }
    // Every file of the work folder with a digest of its bytes.
    std::map<std::string, size_t> Files() {
        std::map<std::string, size_t> m;
        for (auto& e : fs::recursive_directory_iterator(work_)) {
            if (!e.is_regular_file()) continue;
            auto b = testutil::ReadFileBytes(e.path().string());
            m[e.path().string()] = std::hash<std::string>()(std::string(b.begin(), b.end()));
        }
        return m;
    }
};

// Writes fail at the first byte, half-way and in the last KiB: new, replaced and same-file output.
TEST_F(Faults, WriteFailuresLoseNothing) {
    // An extension, then settings to store first (PCM 22050 2: the input's own, its bytes copied).
    for (std::string kind :
         {".wav", ".wav -settings .wav ULAW 8000 1", ".wav -settings .wav PCM 22050 2", ".raw",
          ".aiff", ".au", ".vox", ".gsm", ".flac"}) {
        const std::string ext = kind.substr(0, kind.find(' ')), settings = kind.substr(ext.size());
        fs::remove_all(dir_ + "/home");
        ASSERT_EQ(Tamber("-overwrite ALWAYS" + settings), 0);
        ASSERT_EQ(Tamber("-format " + ext + " -outfolder ref x.wav -convert"), 0);
        const std::string ref = w("ref/x") + ext;
        if (settings.find("ULAW") != std::string::npos) {  // the stored WAV format
            EXPECT_EQ(
                testutil::Soxi("-e", ref) + testutil::Soxi("-r", ref) + testutil::Soxi("-c", ref),
                "u-law80001");
        }
        if (ext == ".flac")  // fresh settings: the source's channels and rate
            EXPECT_EQ(testutil::Soxi("-c", ref) + testutil::Soxi("-r", ref), "222050");
        const long size = long(fs::file_size(ref));
        for (const char* c : {"new", "replace", "same"}) {
            std::string args = "-format " + ext + " -outfolder out x.wav -convert";
            fs::create_directories(w("out"));
            if (c == std::string("replace")) testutil::WriteFileBytes(w("out/x") + ext, {1, 2});
            if (c == std::string("same")) {
                fs::copy_file(ref, w("x") + ext, fs::copy_options::overwrite_existing);
                args = "-format " + ext + " -outfolder " + dir_ + "/w x" + ext + " -convert";
            }
            for (long limit : {0L, size / 2048, (size - 1) / 1024}) {
                auto before = Files();
                EXPECT_EQ(Tamber(args, limit), 2) << ext << settings << c << limit;
                EXPECT_EQ(Files(), before) << ext << settings << c << limit;
            }
            fs::remove_all(w("out"));
        }
    }
}

// A crashing or failing decoder fails its file; "_x" and "~x" files stay; a read-only folder fails.
TEST_F(Faults, DecodersNamesAndReadOnlyFolders) {
    Opaque("x.ogg");
    fs::create_directories(w("out"));
    const char* failed = "the decoder \"oggdec\" could not complete it";
    const std::string part = "head -c 3000 '" + w("x.wav") + "' > \"$2\"";
    for (auto [body, message] : {std::pair{part + "; kill -SEGV $$", failed},
                                 {std::string("exit 3"), failed},
                                 {part, "its decoded sound is incomplete"}}) {
        StandIn("oggdec", body);
        for (std::string args : {"-format .wav -outfolder out", "-format .ogg -outfolder ."}) {
            auto before = Files();
            EXPECT_EQ(Tamber(args + " x.ogg -convert"), 2) << body << args;
            EXPECT_TRUE(Has(message)) << body << args;
            EXPECT_EQ(Files(), before) << body << args;
        }
    }
    // A crash is no success when this program was started with SIGCHLD ignored.
    StandIn("oggdec", part + "; kill -SEGV $$");
    EXPECT_EQ(Tamber("-format .wav -outfolder out x.ogg -convert", -1, "env --ignore-signal=CHLD"),
              2);
    EXPECT_TRUE(Has(failed) && !Has("done")) << err_;
    for (const char* n : {"_x.wav", "~x.wav", "out/~x.wav"}) testutil::WriteFileBytes(w(n), {7});
    ASSERT_EQ(Tamber("-format .wav -outfolder out x.wav -convert"), 0);
    ASSERT_EQ(Tamber("-settings .wav PCM 8000 1 -outfolder . x.wav -convert"), 0);
    EXPECT_FALSE(Has("already exists"));
    EXPECT_EQ(testutil::ReadWav16(w("x.wav")).rate, 8000);
    for (const char* n : {"_x.wav", "~x.wav", "out/~x.wav"})
        EXPECT_EQ(testutil::ReadFileBytes(w(n)), std::vector<uint8_t>{7}) << n;
    EXPECT_EQ(fs::file_size(w("out/x.wav")), 46u + 66150 * 4);

    // Root writes anywhere: the run then drops to another user.
    const char* who = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    if (geteuid() == 0 && !testutil::HaveTool("setpriv")) GTEST_SKIP() << "no setpriv";
    testutil::Run("chmod -R a+rwX '" + dir_ + "' && chmod a+x '" + dir_ + "/..'");
    fs::permissions(w("out"), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    auto before = Files();
    EXPECT_EQ(Tamber("-overwrite ALWAYS -format .wav -outfolder out x.wav -convert", -1, who), 2);
    EXPECT_TRUE(Has("Unable to create the file")) << dir_;
    EXPECT_EQ(Files(), before);
}

// Lossless outputs are read back and say so, one at a time and in parallel; lossy ones do not.
TEST_F(Faults, LosslessOutputsAreVerified) {
    fs::copy_file(w("x.wav"), w("y.wav"));
    for (const char* ext : {".wav", ".aiff", ".flac", ".mp3"}) {
        for (const char* jobs : {"1", "2"}) {
            const std::string out = std::string("o") + jobs + ext;
            EXPECT_EQ(Tamber("-jobs " + std::string(jobs) + " -format " + ext + " -outfolder " +
                             out + " x.wav y.wav -convert"),
                      0);
            const bool lossless = std::string(ext) != ".mp3";
            EXPECT_EQ(Has("] x.wav verified\n") && Has("] y.wav verified\n"), lossless)
                << ext << jobs << err_;
            EXPECT_EQ(Pcm(w(out + "/x") + ext) == Pcm(w("x.wav")), lossless) << ext;
        }
    }
}

// An encoder that writes other samples than it is given (a valid stream all the same): the file
// fails by name and goes, the older output stays, the next file is still written.
TEST_F(Faults, DamagedLosslessOutputIsCaught) {
    StandIn("flac",
            "for a; do [ \"$a\" = -d ] && exec /usr/bin/flac \"$@\"; done\n"
            "tr '\\001' '\\002' | /usr/bin/flac \"$@\"");
    fs::create_directories(w("out"));
    testutil::WriteFileBytes(w("out/x.flac"), {1, 2, 3});
    for (const char* jobs : {"1", "2"}) {
        auto before = Files();
        EXPECT_EQ(Tamber("-jobs " + std::string(jobs) +
                         " -overwrite ALWAYS -format .flac -outfolder out x.wav -convert"),
                  2);
        EXPECT_TRUE(
            Has("The output file \"out/x.flac\" does not read back as the sound that was written "
                "into it"))
            << err_;
        EXPECT_FALSE(Has("verified")) << err_;
        EXPECT_EQ(Files(), before) << jobs;
    }
}

// A run killed while its encoder works leaves the input whole (the next run ignoring its
// leftover: the "_x" files of DecodersNamesAndReadOnlyFolders).
TEST_F(Faults, KilledRunLeavesTheInputWhole) {
    fs::copy_file(w("x.wav"), w("x.ogg"));
    const auto original = testutil::ReadFileBytes(w("x.ogg"));
    StandIn("oggdec", "cat \"$3\" > \"$2\"");
    StandIn("oggenc", "while [ \"$1\" != -o ]; do shift; done; cat > \"$2\"; echo $$ > '" + dir_ +
                          "/enc.pid'; sleep 30");
    testutil::Run(Command("-format .ogg -outfolder . x.ogg -convert") + " & echo $! > '" + dir_ +
                  "/tamber.pid'");
    testutil::WaitUntil([&] { return fs::exists(dir_ + "/enc.pid"); });
    ASSERT_EQ(testutil::Run("kill -9 $(cat '" + dir_ + "/tamber.pid')"), 0);
    testutil::Run("kill -9 -$(cat '" + dir_ + "/enc.pid')");
    EXPECT_EQ(testutil::ReadFileBytes(w("x.ogg")), original);
}

// Ctrl+C stops every running entry and its encoder or decoder with all it started, starts no
// other, and leaves no file behind; pressed twice (the second ends each worker at once, before
// it has stopped anything) it ends every child too.
TEST_F(Faults, InterruptStopsEveryRunningEntry) {
    for (auto [tool, in, format] :
         {std::tuple{"oggenc", ".wav", ".ogg"}, {"oggdec", ".ogg", ".wav"}}) {
        for (const char* f : {"a", "b", "c"})
            in == std::string(".wav") ? void(fs::copy_file(w("x.wav"), w(f + std::string(in))))
                                      : Opaque(f + std::string(in));
        StandIn(tool, "echo $$ > \"" + dir_ + "/enc.$$\"; sleep 30");
        const std::string args = std::string("-jobs 2 -format ") + format + " -outfolder out a" +
                                 in + " b" + in + " c" + in + " -convert";
        testutil::Run("(" + Command(args, -1, "\\$(echo \\$\\$ > ../tamber.pid)") +
                      "; echo $? > '" + dir_ + "/rc.new'; mv '" + dir_ + "/rc.new' '" + dir_ +
                      "/rc') &");
        auto children = [&] {
            std::vector<std::string> pids;
            for (auto& e : fs::directory_iterator(dir_))
                if (e.path().filename().string().rfind("enc.", 0) == 0)
                    pids.push_back(e.path().filename().string().substr(4));
            return pids;
        };
        testutil::WaitUntil([&] { return children().size() >= 2; });
        ASSERT_EQ(children().size(), 2u) << tool;
        // The shell that wrote its pid runs tamber itself (exec), so that pid is tamber's.
        testutil::Run("p=$(cat '" + dir_ + "/tamber.pid'); kill -INT $p; kill -INT $p");
        testutil::WaitUntil([&] { return fs::exists(dir_ + "/rc"); });
        EXPECT_EQ(testutil::ReadText(dir_ + "/rc"), "1\n") << tool;
        for (const std::string& pid : children()) {  // the child leads its own process group
            EXPECT_FALSE(testutil::GroupRuns(pid)) << tool;
            testutil::Run("kill -9 -" + pid + " 2>/dev/null");
        }
        EXPECT_EQ(children().size(), 2u) << tool;  // c never started
        EXPECT_TRUE(!fs::exists(w("out")) || fs::is_empty(w("out"))) << tool;
        EXPECT_EQ(Files().size(), 4u) << tool;  // x.wav, a, b and c
        for (auto& e : fs::directory_iterator(dir_))
            if (e.path().filename().string().rfind("enc.", 0) == 0 || e.path().filename() == "rc")
                fs::remove(e.path());
        for (const char* f : {"a", "b", "c"}) fs::remove(w(f + std::string(in)));
    }
}

// Ctrl+C pressed twice ends a tamber that converts alone at once, and its decoder with it: the
// decoder's late write never comes.
TEST_F(Faults, SecondInterruptEndsTheChildrenToo) {
    Opaque("x.ogg");
    StandIn("oggdec", "echo $$ > '" + dir_ + "/dec.pid'; sleep 30; echo late > \"$2\"");
    testutil::Run("(" +
                  Command("-jobs 1 -format .wav -outfolder out x.ogg -convert", -1,
                          "\\$(echo \\$\\$ > ../tamber.pid)") +
                  "; touch '" + dir_ + "/rc') &");
    testutil::WaitUntil([&] { return !testutil::ReadText(dir_ + "/dec.pid").empty(); });
    testutil::Run("p=$(cat '" + dir_ + "/tamber.pid'); kill -INT $p; kill -INT $p");
    testutil::WaitUntil([&] { return fs::exists(dir_ + "/rc"); });
    const std::string decoder = std::to_string(std::stoi(testutil::ReadText(dir_ + "/dec.pid")));
    EXPECT_FALSE(testutil::GroupRuns(decoder));
    testutil::Run("kill -9 -" + decoder + " 2>/dev/null");
}

// Paths past 259 characters are used whole; one past the system's limit is refused by name and
// nothing else is converted in its place.
TEST_F(Faults, LongPathsAreNeitherCutNorMixedUp) {
    const std::string deep = work_ + "/" + std::string(249 - work_.size(), 'd');
    fs::create_directories(deep);  // 250 characters: deep/take.wav is 259
    testutil::WriteWav16(deep + "/take.wav", 8000, 1, testutil::Sine(8000, 1, 800, 440, 5000));
    fs::copy_file(w("x.wav"), deep + "/take.wav-alt2.wav");
    for (const char* n : {"Symphony1-movement1", "Symphony1-movement2"})
        testutil::WriteWav16(w(n) + ".wav", 8000, 1, testutil::Sine(8000, 1, 800, n[18], 5000));
    ASSERT_EQ(
        Tamber("-outfolder '" + deep + "/o' '" + deep +
               "/take.wav-alt2.wav' Symphony1-movement1.wav Symphony1-movement2.wav -convert"),
        0)
        << err_;
    for (std::string n : {"take.wav-alt2", "Symphony1-movement1", "Symphony1-movement2"}) {
        const std::string in = n[0] == 't' ? deep + "/" + n + ".wav" : w(n + ".wav");
        EXPECT_EQ(testutil::ReadWav16(deep + "/o/" + n + ".wav").samples,
                  testutil::ReadWav16(in).samples)
            << n;
    }
    std::string dots;
    for (int i = 0; i < 2045; ++i) dots += "./";  // 4090 characters
    auto before = Files();
    EXPECT_EQ(Tamber("-outfolder out " + dots + dots + "x.wav -convert"), 2);
    EXPECT_TRUE(Has("The path \"" + dots + dots + "x.wav\" is too long")) << err_.substr(0, 300);
    EXPECT_EQ(Tamber("-outfolder " + dots + "o x.wav -convert"), 2);  // the output's path
    EXPECT_TRUE(Has("for \"x.wav\" would be too long")) << err_.substr(0, 300);
    EXPECT_EQ(Files(), before);
}

// A settings file that is there but cannot be read is never replaced by one holding one change,
// and the run says so and fails.
TEST_F(Faults, UnreadableSettingsAreNeverReplaced) {
    if (geteuid() == 0 && !testutil::HaveTool("setpriv")) GTEST_SKIP() << "no setpriv";
    const char* who = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    ASSERT_EQ(Tamber("-overwrite ALWAYS -settings .flac 8 44100 2"), 0);
    testutil::Run("chmod -R a+rwX '" + dir_ + "' && chmod a+x '" + dir_ + "/..'");
    const std::string ini = dir_ + "/home/config/machine.ini";
    const auto before = testutil::ReadFileBytes(ini);
    fs::permissions(ini, fs::perms::none);
    EXPECT_EQ(Tamber("-settings .flac 5 0 0", -1, who), 2);
    EXPECT_TRUE(Has("tamber: the settings file " + ini + " cannot be read")) << err_;
    EXPECT_EQ(testutil::ReadFileBytes(ini), before);
}

// An empty or relative PATH entry is no folder to search: a program in the working folder is
// never taken for a component.
TEST_F(Faults, OnlyAbsolutePathEntriesAreSearched) {
    testutil::StandIn(w("lame"), "touch '" + dir_ + "/ran'; exit 1");
    Tamber("-format .mp3 -outfolder out x.wav -convert", -1, "env PATH=:.:/usr/bin:/bin");
    EXPECT_FALSE(fs::exists(dir_ + "/ran"));
    EXPECT_EQ(testutil::ReadText(dir_ + "/home/config/machine.ini").find("./lame"),
              std::string::npos);
}

// Eight runs convert overlapping batches into one folder at once: every output complete.
TEST_F(Faults, ConcurrentRunsShareAFolder) {
    std::vector<std::vector<int16_t>> pcm;
    for (int i = 0; i < 6; ++i) {
        pcm.push_back(testutil::Sine(11025, 2, 30000, 200 + 50 * i, 8000));
        testutil::WriteWav16(w("f" + std::to_string(i) + ".wav"), 11025, 2, pcm.back());
    }
    ASSERT_EQ(Tamber("-overwrite ALWAYS"), 0);
    std::string all;
    for (int p = 0; p < 8; ++p) {
        std::string files;
        for (int k = 0; k < 3; ++k) files += " f" + std::to_string((p + k) % 6) + ".wav";
        all += "(" + Command("-format .wav -outfolder out" + files + " -convert") +
               "; echo $? >> '" + dir_ + "/rc') & ";
    }
    testutil::Run(all + "wait");
    EXPECT_EQ(testutil::ReadText(dir_ + "/rc"), "0\n0\n0\n0\n0\n0\n0\n0\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(w("out")), fs::directory_iterator()), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(testutil::ReadWav16(w("out/f" + std::to_string(i) + ".wav")).samples, pcm[i]);
}

}  // namespace
