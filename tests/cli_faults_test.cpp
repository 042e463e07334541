// The headless tamber where the world fails: a full disk (a file-size limit), a read-only folder,
// crashing decoders, a killed run, concurrent runs. What the user had is never lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"

namespace fs = std::filesystem;
using testutil::ReadFileBytes;

namespace {

class Faults : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testutil::ScratchDir();
        for (const char* d : {"/home", "/bin", "/w"}) fs::create_directories(dir_ + d);
        testutil::WriteWav16(w("x.wav"), 22050, 2, testutil::Sine(22050, 2, 66150, 440, 9000));
    }
    std::string w(const std::string& name) { return dir_ + "/w/" + name; }
    // tamber in dir_/w with the stand-ins first on PATH; limitKiB >= 0 caps every file it and
    // its children write, as a full disk does. prefix goes before the program.
    std::string Command(const std::string& args, long limitKiB = -1, const char* prefix = "") {
        std::string limit =
            limitKiB < 0 ? "" : "trap '' XFSZ; ulimit -f " + std::to_string(limitKiB) + "; ";
        return "cd '" + dir_ + "/w' && TAMBER_HOME='" + dir_ + "/home' PATH='" + dir_ +
               "/bin':\"$PATH\" bash -c \"" + limit + "exec " + prefix +
               " '" TAMBER_BINARY_DIR "/tamber' " + args + "\" </dev/null 2>>'" + dir_ + "/err'";
    }
    int Tamber(const std::string& args, long limitKiB = -1, const char* prefix = "") {
        fs::remove(dir_ + "/err");
        return testutil::Run(Command(args, limitKiB, prefix));
    }
    bool ErrHas(const std::string& text) {
        auto b = ReadFileBytes(dir_ + "/err");
        return std::string(b.begin(), b.end()).find(text) != std::string::npos;
    }
    void StandIn(const char* name, const std::string& body) {
        testutil::WriteFileBytes(dir_ + "/bin/" + name, {});
        std::string text = "#!/bin/sh\n" + body + "\n";
        testutil::WriteFileBytes(dir_ + "/bin/" + name, {text.begin(), text.end()});
        fs::permissions(dir_ + "/bin/" + name, fs::perms::all);
    }
    // Every file of the work folder with a digest of its bytes.
    std::map<std::string, size_t> Files() {
        std::map<std::string, size_t> m;
        for (auto& e : fs::recursive_directory_iterator(dir_ + "/w")) {
            if (!e.is_regular_file()) continue;
            auto b = ReadFileBytes(e.path().string());
            m[e.path().string()] = std::hash<std::string>()(std::string(b.begin(), b.end()));
        }
        return m;
    }
    std::string dir_;
};

// Writes fail at the first byte, half-way and within the last KiB, for every output kind,
// writing a new file, replacing an old output and converting a file onto itself.
TEST_F(Faults, WriteFailuresLoseNothing) {
    struct Kind {
        const char* ext;
        const char* settings;
    };
    for (Kind k : {Kind{".wav", ""}, Kind{".wav", "-settings .wav ULAW 8000 1"}, Kind{".raw", ""},
                   Kind{".aiff", ""}, Kind{".au", ""}, Kind{".vox", ""}, Kind{".gsm", ""},
                   Kind{".flac", ""}}) {
        fs::remove_all(dir_ + "/home");
        ASSERT_EQ(Tamber(std::string("-overwrite ALWAYS ") + k.settings), 0);
        ASSERT_EQ(Tamber(std::string("-format ") + k.ext + " -outfolder ref x.wav -convert"), 0);
        const std::string ref = w("ref/x") + k.ext;
        const long size = long(fs::file_size(ref));
        for (const char* c : {"new", "replace", "same"}) {
            std::string args = std::string("-format ") + k.ext + " -outfolder out x.wav -convert";
            fs::create_directories(w("out"));
            if (c == std::string("replace")) testutil::WriteFileBytes(w("out/x") + k.ext, {1, 2});
            if (c == std::string("same")) {
                fs::copy_file(ref, w("x") + k.ext, fs::copy_options::overwrite_existing);
                args = std::string("-format ") + k.ext + " -outfolder " + dir_ + "/w x" + k.ext +
                       " -convert";
            }
            for (long limit : {0L, size / 2048, (size - 1) / 1024}) {
                auto before = Files();
                EXPECT_EQ(Tamber(args, limit), 2) << k.ext << k.settings << c << limit;
                EXPECT_EQ(Files(), before) << k.ext << k.settings << c << limit;
            }
            fs::remove_all(w("out"));
        }
    }
}

// A decoder that crashes half-way or exits with an error fails the file with its message.
// Unrelated "_x" and "~x" files are never asked about nor touched. A read-only folder fails.
TEST_F(Faults, DecodersNamesAndReadOnlyFolders) {
    fs::copy_file(w("x.wav"), w("x.ogg"));
    fs::create_directories(w("out"));
    const char* failed = "the decoder \"oggdec\" could not complete it";
    for (auto [body, message] :
         {std::pair{"head -c 3000 \"$3\" > \"$2\"; kill -SEGV $$", failed},
          {"exit 3", failed},
          {"head -c 3000 \"$3\" > \"$2\"", "its decoded sound is incomplete"}}) {
        StandIn("oggdec", body);
        for (std::string args : {"-format .wav -outfolder out", "-format .ogg -outfolder ."}) {
            auto before = Files();
            EXPECT_EQ(Tamber(args + " x.ogg -convert"), 2) << body << args;
            EXPECT_TRUE(ErrHas(message)) << body << args;
            EXPECT_EQ(Files(), before) << body << args;
        }
    }
    for (const char* n : {"_x.wav", "~x.wav", "out/~x.wav"}) testutil::WriteFileBytes(w(n), {7});
    ASSERT_EQ(Tamber("-format .wav -outfolder out x.wav -convert"), 0);
    ASSERT_EQ(Tamber("-settings .wav PCM 8000 1 -outfolder . x.wav -convert"), 0);
    EXPECT_FALSE(ErrHas("already exists"));
    EXPECT_EQ(testutil::ReadWav16(w("x.wav")).rate, 8000);
    for (const char* n : {"_x.wav", "~x.wav", "out/~x.wav"})
        EXPECT_EQ(ReadFileBytes(w(n)), std::vector<uint8_t>{7}) << n;
    EXPECT_EQ(fs::file_size(w("out/x.wav")), 46u + 66150 * 4);

    // Root writes anywhere: the run then drops to another user.
    const char* who = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    if (geteuid() == 0 && !testutil::HaveTool("setpriv")) GTEST_SKIP() << "no setpriv";
    testutil::Run("chmod -R a+rwX '" + dir_ + "' && chmod a+x '" + dir_ + "/..'");
    fs::permissions(w("out"), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    auto before = Files();
    EXPECT_EQ(Tamber("-overwrite ALWAYS -format .wav -outfolder out x.wav -convert", -1, who), 2);
    EXPECT_TRUE(ErrHas("Unable to create the file")) << dir_;
    EXPECT_EQ(Files(), before);
}

// A run killed while its encoder works leaves the input whole; the next run ignores the
// leftover passing file.
TEST_F(Faults, KilledRunLeavesTheInputWhole) {
    fs::copy_file(w("x.wav"), w("x.ogg"));
    const auto original = ReadFileBytes(w("x.ogg"));
    StandIn("oggdec", "cat \"$3\" > \"$2\"");
    const std::string out = "while [ \"$1\" != -o ]; do shift; done; cat > \"$2\"";
    StandIn("oggenc", out + "; echo $$ > '" + dir_ + "/enc.pid'; sleep 30");
    testutil::Run(Command("-format .ogg -outfolder . x.ogg -convert") + " & echo $! > '" + dir_ +
                  "/tamber.pid'");
    for (int i = 0; i < 200 && !fs::exists(dir_ + "/enc.pid"); ++i) usleep(50000);
    ASSERT_EQ(testutil::Run("kill -9 $(cat '" + dir_ + "/tamber.pid')"), 0);
    testutil::Run("kill -9 -$(cat '" + dir_ + "/enc.pid')");
    EXPECT_EQ(ReadFileBytes(w("x.ogg")), original);
    ASSERT_TRUE(fs::exists(w("_x.ogg")));
    StandIn("oggenc", out);
    const auto leftover = ReadFileBytes(w("_x.ogg"));
    EXPECT_EQ(Tamber("-format .ogg -outfolder . x.ogg -convert"), 0);
    EXPECT_EQ(fs::file_size(w("x.ogg")), 66150u * 4);  // the stand-in keeps the PCM
    EXPECT_EQ(ReadFileBytes(w("_x.ogg")), leftover);
    EXPECT_EQ(Files().size(), 3u);  // x.wav, x.ogg, _x.ogg
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
    auto rc = ReadFileBytes(dir_ + "/rc");
    EXPECT_EQ(std::string(rc.begin(), rc.end()), "0\n0\n0\n0\n0\n0\n0\n0\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(w("out")), fs::directory_iterator()), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(testutil::ReadWav16(w("out/f" + std::to_string(i) + ".wav")).samples, pcm[i]);
}

}  // namespace
