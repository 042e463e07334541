// Hidden child processes and the command-line decoders against stand-in programs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "store/registry.h"
#include "external/components.h"
#include "external/decoders.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"

namespace {

std::string Script(const std::string& dir, const char* name, const std::string& body) {
    std::string path = dir + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    return path;
}

void Register(const char* component, const std::string& path) {
    char key[LMAX_PATH];
    ComponentKeyPath(key, component);
    RegistryWriteString(LRegistryRoot::LocalMachine, key, "Path", path.c_str());
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <class T>
void Fill(T& record, const std::string& in, const std::string& out) {
    char* fields = reinterpret_cast<char*>(&record);
    std::snprintf(fields, LMAX_PATH, "%s", in.c_str());
    std::snprintf(fields + LMAX_PATH, LMAX_PATH, "%s", out.c_str());
}

class Decoders : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testutil::ScratchDir();
        setenv("TAMBER_HOME", dir.c_str(), 1);
        // Each stand-in writes its arguments, one a line, next to the output.
        recorder = Script(dir, "record dec",
                          "for a in \"$@\"; do echo \"$a\"; done > \"" + dir + "/args.txt\"");
    }
    std::string Args() {
        auto b = testutil::ReadFileBytes(dir + "/args.txt");
        return std::string(b.begin(), b.end());
    }
    std::string dir, recorder;
};

}  // namespace

TEST_F(Decoders, CommandLinesQuoteEveryPathInTheRightOrder) {
    for (const char* c : {"aacdec", "oggdec", "flacdec", "actdec", "shndec"}) Register(c, recorder);
    std::string in = dir + "/my song.x";
    std::string out = dir + "/Temp 1.wav";
    testutil::FakeProgress dlg;
    LAACDecode aac;
    Fill(aac, in, out);
    EXPECT_EQ(Process(&dlg, &aac), LPROCESS_OK);
    EXPECT_EQ(Args(), "-d\n-o\n" + out + "\n" + in + "\n");
    EXPECT_EQ(dlg.lines[0], "Decoding AAC file");
    EXPECT_EQ(dlg.lines[1], "my song.x");
    LOggDecode ogg;
    Fill(ogg, in, out);
    EXPECT_EQ(Process(&dlg, &ogg), LPROCESS_OK);
    EXPECT_EQ(Args(), "-o\n" + out + "\n" + in + "\n");
    EXPECT_EQ(dlg.lines[0], "Decoding Ogg file");
    LFLACDecode flac;
    Fill(flac, in, out);
    EXPECT_EQ(Process(&dlg, &flac), LPROCESS_OK);
    EXPECT_EQ(Args(), "-d\n-o\n" + out + "\n" + in + "\n");
    EXPECT_EQ(dlg.lines[0], "Decoding FLAC file");
    LACTDecode act;
    Fill(act, in, out);
    EXPECT_EQ(Process(&dlg, &act), LPROCESS_OK);
    EXPECT_EQ(Args(), in + "\n" + out + "\n");
    EXPECT_EQ(dlg.lines[0], "Decoding Record file");
    LShnDecode shn;
    Fill(shn, in, out);
    EXPECT_EQ(Process(&dlg, &shn), LPROCESS_OK);
    EXPECT_EQ(Args(), "-x\n" + in + "\n" + out + "\n");
    EXPECT_EQ(dlg.lines[0], "Decoding Shn file");
    EXPECT_TRUE(dlg.errors.empty());
}

// A decoder that exits with an error, crashes half-way or cannot be started fails the decode
// with the decoder message; the input is left alone.
TEST_F(Decoders, FailingDecodersFailTheDecodeAndLeaveTheSourceAlone) {
    std::string in = dir + "/in.ogg";
    std::vector<uint8_t> original = {'O', 'g', 'g', 'S', 1, 2, 3};
    testutil::WriteFileBytes(in, original);
    std::string out = dir + "/Temp1.wav";
    LOggDecode rec;
    Fill(rec, in, out);
    std::string unstartable = dir + "/unstartable";
    std::ofstream(unstartable) << "#!/nonexistent/interpreter\n";
    chmod(unstartable.c_str(), 0755);
    for (const std::string& prog :
         {Script(dir, "fails", "exit 7"),
          Script(dir, "broken", "printf 'RIFF\\001\\000' > \"$2\"; kill -SEGV $$"), unstartable}) {
        Register("oggdec", prog);
        testutil::FakeProgress dlg;
        EXPECT_EQ(Process(&dlg, &rec), LPROCESS_FAILED) << prog;
        ASSERT_EQ(dlg.errors.size(), 1u) << prog;
        EXPECT_EQ(dlg.errors[0], "Cannot open the file \"" + in +
                                     "\": the decoder \"oggdec\" could not complete it.");
        EXPECT_EQ(testutil::ReadFileBytes(in), original);
    }
}

TEST_F(Decoders, CancelDuringTheWaitEndsAtOnce) {
    Register("flacdec", Script(dir, "slow", "sleep 4"));
    testutil::FakeProgress dlg;
    dlg.CancelAfter(700);
    LFLACDecode rec;
    Fill(rec, dir + "/a.flac", dir + "/Temp1.wav");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Process(&dlg, &rec), LPROCESS_STOPPED);
    double took = Seconds(start);
    EXPECT_GE(took, 0.6);
    EXPECT_LT(took, 3.0);
    EXPECT_TRUE(dlg.errors.empty());
    // The progress crept: 3 % after the first slice, rising, never reaching 100 %.
    ASSERT_GE(dlg.progress.size(), 1u);
    EXPECT_NEAR(dlg.progress[0], 0.03, 1e-12);
    if (dlg.progress.size() > 1) {
        EXPECT_NEAR(dlg.progress[1], 1.0 - 0.97 * 0.99, 1e-12);
    }
}

TEST_F(Decoders, TimeOutFailsAndLeavesTheChildRunning) {
    std::string flag = dir + "/done";
    std::string prog = Script(dir, "slow", "sleep 2; touch \"" + flag + "\"");
    testutil::FakeProgress dlg;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ProcessRunCommandLineProcess(&dlg, ("\"" + prog + "\"").c_str(), 1200),
              LPROCESS_FAILED);
    double took = Seconds(start);
    EXPECT_GE(took, 1.15);
    EXPECT_LT(took, 3.5);
    EXPECT_EQ(dlg.progress.size(), 3u);  // slices of 500, 500 and 200 ms

    // Shorter than one slice: the only slice is the whole time-out.
    testutil::FakeProgress quick;
    EXPECT_EQ(ProcessRunCommandLineProcess(&quick, ("\"" + prog + "\"").c_str(), 100),
              LPROCESS_FAILED);
    EXPECT_EQ(quick.progress.size(), 1u);
    for (int i = 0; i < 50 && !std::ifstream(flag).good(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(std::ifstream(flag).good());
}

TEST_F(Decoders, MissingComponentTellsWhatToInstall) {
    const char* oldPath = std::getenv("PATH");
    std::string saved = oldPath ? oldPath : "";
    setenv("PATH", (dir + "/empty").c_str(), 1);
    testutil::FakeProgress dlg;
    LOggDecode ogg;
    Fill(ogg, dir + "/x.ogg", dir + "/Temp1.wav");
    EXPECT_EQ(Process(&dlg, &ogg), LPROCESS_FAILED);
    ASSERT_EQ(dlg.errors.size(), 1u);
    EXPECT_EQ(dlg.errors[0],
              "Tamber cannot install the required install-on-demand component \"oggdec\". "
              "Please install the program \"oggdec\" (it must be found on PATH) and try again.");
    LACTDecode act;
    Fill(act, dir + "/x.act", dir + "/Temp1.wav");
    EXPECT_EQ(Process(&dlg, &act), LPROCESS_FAILED);
    EXPECT_NE(dlg.errors.back().find("\"actdec\""), std::string::npos);

    // A program put on PATH is found and recorded for the next look-up.
    std::string bin = dir + "/bin";
    mkdir(bin.c_str(), 0755);
    Script(bin, "oggdec", "exit 0");
    setenv("PATH", ("/nowhere::" + bin).c_str(), 1);
    char path[LMAX_PATH];
    EXPECT_TRUE(ComponentReadPath("oggdec", path));
    EXPECT_EQ(std::string(path), bin + "/oggdec");
    setenv("PATH", "", 1);
    EXPECT_TRUE(ComponentReadPath("oggdec", path));
    EXPECT_EQ(std::string(path), bin + "/oggdec");
    // A recorded program that was removed since is looked for again, and found elsewhere.
    std::string moved = dir + "/moved";
    mkdir(moved.c_str(), 0755);
    Script(moved, "oggdec", "exit 0");
    Register("oggdec", dir + "/gone/oggdec");
    setenv("PATH", moved.c_str(), 1);
    EXPECT_TRUE(ComponentReadPath("oggdec", path));
    EXPECT_EQ(std::string(path), moved + "/oggdec");
    setenv("PATH", saved.c_str(), 1);

    // VoiceIt's library does not exist here.
    LVoiceItDecode sri;
    Fill(sri, dir + "/x.sri", dir + "/Temp1.wav");
    EXPECT_EQ(Process(&dlg, &sri), LPROCESS_FAILED);
    EXPECT_EQ(dlg.errors.back(),
              "Unable to load the VoiceIt file SrPump.dll.\r\n\r\nPlease download and install the "
              "VoiceIt addon from http://www.velmora.com/voiceit.html.");
}
