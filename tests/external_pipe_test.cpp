// The encoder pipe against stand-in encoders: exact bytes, early exits, crashes, stalls.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "external/pipesink.h"
#include "external/process.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"

namespace {

std::string Script(const std::string& dir, const char* name, const std::string& body) {
    std::string path = dir + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    return path;
}

std::vector<int32_t> Ramp(int32_t frames, int channels) {
    std::vector<int32_t> v(size_t(frames) * channels);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = int32_t((i * 7919) % 0xFFFE0) - 0x7FFF0 + int32_t(i % 16);
    return v;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

TEST(PipeSink, WritesRoundedLittleEndianSamplesAndEndsInput) {
    std::string dir = testutil::ScratchDir();
    std::string enc = Script(dir, "enc", "cat > \"$2\"");
    std::string out = dir + "/out file.raw";
    std::vector<int32_t> in = Ramp(20000, 2);
    in[0] = 7;        // rounds to 0
    in[1] = 8;        // rounds to 1
    in[2] = -9;       // rounds to -1
    in[3] = -8;       // rounds to 0
    in[4] = 0x7FFFF;  // beyond full scale: wraps, no clipping
    {
        LSinkRef sink(new LPipe16Sink(("\"" + enc + "\" -o \"" + out + "\"").c_str(), 44100, 2));
        ASSERT_FALSE(sink->IsUnusable());
        EXPECT_EQ(sink->GetSampleRate(), 44100);
        EXPECT_EQ(sink->Write(in.data(), 8192), 1);
        EXPECT_EQ(sink->Write(in.data() + 8192 * 2, 20000 - 8192), 1);
        EXPECT_EQ(sink->GetPosition(), 20000);
    }  // the release closes the pipe and waits for the encoder
    std::vector<uint8_t> bytes = testutil::ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), in.size() * 2);
    for (size_t i = 0; i < in.size(); ++i) {
        int16_t expect = int16_t(int32_t(uint32_t(in[i]) + 8u) >> 4);
        int16_t got = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
        ASSERT_EQ(got, expect) << i;
    }
    EXPECT_EQ(int16_t(bytes[0] | bytes[1] << 8), 0);
    EXPECT_EQ(int16_t(bytes[2] | bytes[3] << 8), 1);
    EXPECT_EQ(int16_t(bytes[4] | bytes[5] << 8), -1);
    EXPECT_EQ(int16_t(bytes[6] | bytes[7] << 8), 0);
    EXPECT_EQ(int16_t(bytes[8] | bytes[9] << 8), -32768);
}

TEST(PipeSink, MissingProgramAndZeroChannelsFail) {
    std::string dir = testutil::ScratchDir();
    LSinkRef missing(new LPipe16Sink(("\"" + dir + "/no such encoder\" -").c_str(), 44100, 2));
    EXPECT_TRUE(missing->IsUnusable());
    std::vector<int32_t> in = Ramp(100, 2);
    EXPECT_EQ(missing->Write(in.data(), 100), 0);

    std::string enc = Script(dir, "enc", "cat > /dev/null");
    LSinkRef zero(new LPipe16Sink(("\"" + enc + "\"").c_str(), 8000, 0));
    EXPECT_TRUE(zero->IsUnusable());
    EXPECT_EQ(zero->GetChannels(), 1);
    EXPECT_FALSE(LPipeOut().Open(""));
}

TEST(PipeSink, EncoderThatExitsAtOnceOrCrashesHalfWay) {
    std::string dir = testutil::ScratchDir();
    std::vector<int32_t> in = Ramp(8192, 2);
    auto start = std::chrono::steady_clock::now();
    {
        std::string enc = Script(dir, "quit", "exit 3");
        LSinkRef sink(new LPipe16Sink(("\"" + enc + "\"").c_str(), 44100, 2));
        ASSERT_FALSE(sink->IsUnusable());  // the process did start
        int ok = 1;
        for (int i = 0; i < 40; ++i) ok &= sink->Write(in.data(), 8192);
        EXPECT_EQ(ok, 0);  // the broken pipe is reported, and this program lives on
        EXPECT_TRUE(sink->IsUnusable());
        EXPECT_EQ(sink->GetPosition(), 40 * 8192);
    }
    {
        // Reads about half of the input, writes it, then dies of a signal.
        std::string out = dir + "/half.raw";
        std::string enc = Script(dir, "crash", "head -c 655360 > \"" + out + "\"; kill -SEGV $$");
        LSinkRef sink(new LPipe16Sink(("\"" + enc + "\"").c_str(), 44100, 2));
        int ok = 1;
        for (int i = 0; i < 40; ++i) ok &= sink->Write(in.data(), 8192);
        EXPECT_EQ(ok, 0);
        EXPECT_TRUE(sink->IsUnusable());
        sink.reset();
        EXPECT_EQ(testutil::ReadFileBytes(out).size(), 655360u);
    }
    EXPECT_LT(Seconds(start), 10.0);
}

// An encoder that takes all of its input but then cannot write its file ends with an error
// code: finishing the sink says so. One that ends well leaves the sink usable.
TEST(PipeSink, EncoderExitCodeDecidesTheFinish) {
    std::string dir = testutil::ScratchDir();
    std::vector<int32_t> in = Ramp(8192, 2);
    for (auto [body, bad] :
         {std::pair{"cat > /dev/null; exit 1", true},
          std::pair{"cat > /dev/null; kill -KILL $$", true}, std::pair{"cat > /dev/null", false}}) {
        std::string enc = Script(dir, "enc", body);
        LSinkRef sink(new LPipe16Sink(("\"" + enc + "\"").c_str(), 44100, 2));
        EXPECT_EQ(sink->Write(in.data(), 8192), 1) << body;
        EXPECT_FALSE(sink->IsUnusable()) << body;
        EXPECT_EQ(sink->Finish(nullptr), bad ? LPROCESS_FAILED : LPROCESS_OK) << body;
        EXPECT_EQ(sink->IsUnusable(), bad) << body;
    }
}

// Finishing waits for the encoder behind the progress surface (the limit is shortened here):
// an encoder ending within it is success, one outliving the limit is ended and fails, and Cancel
// ends the wait at once.
TEST(PipeSink, FinishWaitsForTheEncoderWithinItsLimit) {
    std::string dir = testutil::ScratchDir();
    std::vector<int32_t> in = Ramp(4096, 2);  // fits into the pipe's buffer
    const uint32_t limit = LPipeOut::finishLimitMs;
    LPipeOut::finishLimitMs = 2000;
    struct Case {
        const char* sleep;
        int cancelAfterMs;  // -1: none
        int status;
        double minS, maxS;
    };
    for (const Case& c :
         {Case{"1", -1, LPROCESS_OK, 0.9, 1.9}, Case{"30", -1, LPROCESS_FAILED, 1.9, 3.5},
          Case{"30", 300, LPROCESS_STOPPED, 0.25, 1.5}}) {
        std::string flag = dir + "/finished";
        std::remove(flag.c_str());
        std::string enc =
            Script(dir, "slow",
                   std::string("cat > /dev/null; sleep ") + c.sleep + "; touch \"" + flag + "\"");
        LSinkRef sink(new LPipe16Sink(("\"" + enc + "\"").c_str(), 44100, 2));
        EXPECT_EQ(sink->Write(in.data(), 4096), 1);
        testutil::FakeProgress dlg;
        if (c.cancelAfterMs >= 0) dlg.CancelAfter(c.cancelAfterMs);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(sink->Finish(&dlg), c.status) << c.sleep;
        const double took = Seconds(start);
        EXPECT_GE(took, c.minS) << c.sleep;
        EXPECT_LT(took, c.maxS) << c.sleep;
        EXPECT_EQ(sink->IsUnusable(), c.status != LPROCESS_OK);
        sink.reset();
        // An ended encoder never comes back to write its file.
        if (c.status != LPROCESS_OK) {
            EXPECT_FALSE(std::ifstream(flag).good());
        }
    }
    LPipeOut::finishLimitMs = limit;
}

TEST(PipeSink, EncoderThatStopsReadingLosesItsInputAfterTheStallLimit) {
    std::string dir = testutil::ScratchDir();
    std::string enc = Script(dir, "stall", "sleep 8");
    std::vector<int32_t> in = Ramp(LSOUND_BLOCK_FRAMES, 2);
    uint32_t limit = LPipeOut::stallLimitMs;
    LPipeOut::stallLimitMs = 1000;
    auto start = std::chrono::steady_clock::now();
    int ok = 1;
    {
        LSinkRef sink(new LPipe16Sink(("\"" + enc + "\"").c_str(), 44100, 2));
        for (int i = 0; i < 30; ++i) ok &= sink->Write(in.data(), LSOUND_BLOCK_FRAMES);
        double writing = Seconds(start);
        EXPECT_GE(writing, 0.9);
        EXPECT_LT(writing, 3.0);
    }
    LPipeOut::stallLimitMs = limit;
    EXPECT_EQ(ok, 0);
    // Cut input, then the three-second wait, then the encoder is ended: not the 8 s sleep.
    EXPECT_LT(Seconds(start), 7.0);
}

TEST(ChildProcess, HiddenChildWaitsAndLeavesNothingOpen) {
    std::string dir = testutil::ScratchDir();
    std::string flag = dir + "/ran";
    // stdin of a hidden child is empty, not this program's.
    std::string prog = Script(dir, "child", "cat > \"" + flag + "\"");
    LChildProcess child;
    ASSERT_TRUE(child.StartHidden(("\"" + prog + "\"").c_str()));
    EXPECT_TRUE(child.WaitFor(5000));
    EXPECT_TRUE(child.WaitFor(0));  // stays ended
    EXPECT_EQ(testutil::ReadFileBytes(flag).size(), 0u);
    EXPECT_FALSE(LChildProcess().StartHidden(("\"" + dir + "/missing\"").c_str()));
}
