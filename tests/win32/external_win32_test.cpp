// Encoder pipes and command-line decoders under Windows, against stand-in programs that record
// their command lines: exact command lines, exact audio, and failing programs.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "external/components.h"
#include "external/decoders.h"
#include "external/encoders.h"
#include "external/process.h"
#include "store/registry.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"
#include "tests/win32/support/wintest.h"

namespace fs = std::filesystem;

namespace {

// Copies the stand-in under the name of the program it replaces and registers it.
std::string Install(const std::string& dir, const char* program, const char* component) {
    std::string exe = dir + "\\" + program + ".exe";
    EXPECT_TRUE(CopyFileA(wintest::Built("tests/standin_codec.exe").c_str(), exe.c_str(), FALSE));
    char key[LMAX_PATH];
    ComponentKeyPath(key, component);
    RegistryWriteString(LRegistryRoot::LocalMachine, key, "Path", exe.c_str());
    DeleteFileA((exe + ".cmd.txt").c_str());
    return exe;
}

std::string Recorded(const std::string& exe) {
    auto b = testutil::ReadFileBytes(exe + ".cmd.txt");
    return std::string(b.begin(), b.end());
}

std::vector<int16_t> Ramp(size_t count) {
    std::vector<int16_t> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = int16_t((i * 2654435761u) >> 16);
    return v;
}

void Feed(LSinkRef& sink, const std::vector<int16_t>& pcm, int channels) {
    std::vector<int32_t> block(size_t(LSOUND_BLOCK_FRAMES) * channels);
    size_t frames = pcm.size() / channels;
    for (size_t f = 0; f < frames; f += LSOUND_BLOCK_FRAMES) {
        size_t n = std::min<size_t>(LSOUND_BLOCK_FRAMES, frames - f);
        for (size_t i = 0; i < n * channels; ++i) block[i] = LSampleFrom16(pcm[f * channels + i]);
        sink->Write(block.data(), int32_t(n));
    }
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

class StandIns : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testutil::ScratchDir() + "\\my tools";
        fs::create_directories(dir);
        SetEnvironmentVariableA("STANDIN_MODE", nullptr);
    }
    void TearDown() override { SetEnvironmentVariableA("STANDIN_MODE", nullptr); }
    std::string dir;
};

}  // namespace

TEST_F(StandIns, EncoderGetsItsExactCommandLineAndEverySample) {
    const std::string out = dir + "\\out put.x";
    const std::vector<int16_t> pcm = Ramp(2 * 30000);
    LMP3EncodeSettings mp3;
    const std::string exe = Install(dir, "lame", "mp3el");
    LSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), mp3, 2, 44100);
    ASSERT_TRUE(sink && !sink->IsUnusable());
    Feed(sink, pcm, 2);
    sink.reset();
    EXPECT_EQ(Recorded(exe), "\"" + exe + "\" -m j -b 128 -h -r -s 44.100 -S - \"" + out + "\"");
    const testutil::Wav16 w = testutil::ReadWav16(out);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.samples, pcm);

    // Not installed: no sink, no process.
    LFlacEncodeSettings fl;
    char key[LMAX_PATH];
    ComponentKeyPath(key, "flacenc");
    RegistryDeleteValue(LRegistryRoot::LocalMachine, key, "Path");
    EXPECT_FALSE(LFlacEncodePipe::OpenFlacSink(out.c_str(), fl));
}

TEST_F(StandIns, FailingEncodersNeverHangTheConversion) {
    Install(dir, "lame", "mp3el");
    std::string out = dir + "\\out.mp3";
    std::vector<int16_t> pcm = Ramp(2 * 44100 * 2);
    LMP3EncodeSettings mp3;
    auto start = std::chrono::steady_clock::now();
    for (const char* mode : {"exit", "crash"}) {
        SetEnvironmentVariableA("STANDIN_MODE", mode);
        LSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), mp3, 2, 44100);
        ASSERT_TRUE(sink && !sink->IsUnusable());
        std::vector<int32_t> block(size_t(LSOUND_BLOCK_FRAMES) * 2, 160);
        int ok = 1;
        for (int i = 0; i < 30; ++i) ok &= sink->Write(block.data(), LSOUND_BLOCK_FRAMES);
        EXPECT_EQ(ok, 0) << mode;
        sink.reset();
        EXPECT_FALSE(fs::exists(out)) << mode;
    }
    EXPECT_LT(Seconds(start), 10.0);

    // Never reads: the end of input is followed by at most three seconds of waiting.
    SetEnvironmentVariableA("STANDIN_MODE", "stall");
    LSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), mp3, 2, 44100);
    ASSERT_TRUE(sink);
    std::vector<int32_t> block(size_t(LSOUND_BLOCK_FRAMES) * 2, 160);
    EXPECT_EQ(sink->Write(block.data(), 1000), 1);
    start = std::chrono::steady_clock::now();
    sink.reset();
    double waited = Seconds(start);
    EXPECT_GE(waited, 2.9);
    EXPECT_LT(waited, 4.5);

    // Never reads while more than the pipe holds arrives: the input is cut after the stall
    // limit instead of waiting for ever, and the rest of the conversion runs on at once.
    uint32_t limit = LPipeOut::stallLimitMs;
    LPipeOut::stallLimitMs = 1000;
    sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), mp3, 2, 44100);
    ASSERT_TRUE(sink);
    start = std::chrono::steady_clock::now();
    int ok = 1;
    for (int i = 0; i < 30; ++i) ok &= sink->Write(block.data(), LSOUND_BLOCK_FRAMES);
    double writing = Seconds(start);
    sink.reset();
    LPipeOut::stallLimitMs = limit;
    EXPECT_EQ(ok, 0);
    EXPECT_GE(writing, 0.9);
    EXPECT_LT(writing, 2.5);
    EXPECT_LT(Seconds(start), 5.5);  // the stand-in itself would sleep for 6 s
}

// Every decoder record starts with the input path and the output path.
template <class Rec>
int Decode(const std::string& in, const std::string& out, testutil::FakeProgress& dlg) {
    Rec rec{};
    std::snprintf(reinterpret_cast<char*>(&rec), LMAX_PATH, "%s", in.c_str());
    std::snprintf(reinterpret_cast<char*>(&rec) + LMAX_PATH, LMAX_PATH, "%s", out.c_str());
    return Process(&dlg, &rec);
}

TEST_F(StandIns, DecoderWritesTheTemporaryWav) {
    const std::string in = dir + "\\in put.wav", out = dir + "\\Temp1.wav";
    const std::vector<int16_t> pcm = Ramp(2 * 5000);
    ASSERT_TRUE(testutil::WriteWav16(in, 22050, 2, pcm));
    const std::vector<uint8_t> original = testutil::ReadFileBytes(in);
    const std::string exe = Install(dir, "shorten", "shndec");
    {
        testutil::FakeProgress dlg;
        EXPECT_EQ(Decode<LShnDecode>(in, out, dlg), LPROCESS_OK);
        EXPECT_EQ(Recorded(exe), "\"" + exe + "\" -x \"" + in + "\" \"" + out + "\"");
        EXPECT_EQ(testutil::ReadWav16(out).samples, pcm);
        EXPECT_EQ(dlg.lines[1], "in put.wav");
    }
    // A decoder that fails with an error code fails the decode with the decoder message; one
    // that ends well but writes a broken file leaves the opener no usable WAV. The input is
    // never touched.
    for (const char* mode : {"exit", "broken"}) {
        SetEnvironmentVariableA("STANDIN_MODE", mode);
        DeleteFileA(out.c_str());
        testutil::FakeProgress dlg;
        const bool exits = std::string(mode) == "exit";
        EXPECT_EQ(Decode<LShnDecode>(in, out, dlg), exits ? LPROCESS_FAILED : LPROCESS_OK);
        EXPECT_EQ(dlg.errors.size(), exits ? 1u : 0u) << mode;
        EXPECT_FALSE(testutil::ReadWav16(out).ok);
    }
    EXPECT_EQ(testutil::ReadFileBytes(in), original);

    // The VoiceIt library: missing here, then the stand-in called with both paths; a failure
    // it reports (no such input) shows no message.
    testutil::FakeProgress missing, dlg;
    EXPECT_EQ(Decode<LVoiceItDecode>(in, out, missing), LPROCESS_FAILED);
    EXPECT_EQ(missing.errors, std::vector<std::string>{VoiceItMissingMessage()});
    ASSERT_TRUE(SetDllDirectoryA(wintest::Built("tests/standin-dlls").c_str()));
    DeleteFileA(out.c_str());
    EXPECT_EQ(Decode<LVoiceItDecode>(in, out, dlg), LPROCESS_OK);
    EXPECT_EQ(testutil::ReadWav16(out).samples, pcm);
    EXPECT_EQ(dlg.lines[0], "Decoding VoiceIt File");
    EXPECT_EQ(dlg.lines[1], in);
    EXPECT_EQ(Decode<LVoiceItDecode>(dir + "\\missing.sri", out, dlg), LPROCESS_FAILED);
    EXPECT_TRUE(dlg.errors.empty());
    SetDllDirectoryA(nullptr);
}

TEST_F(StandIns, CancelEndsTheDecodeAtOnce) {
    Install(dir, "actdec", "actdec");
    SetEnvironmentVariableA("STANDIN_MODE", "stall");
    testutil::FakeProgress fake;
    fake.CancelAfter(700);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Decode<LACTDecode>(dir + "\\a.act", dir + "\\Temp1.wav", fake), LPROCESS_STOPPED);
    EXPECT_LT(Seconds(t0), 1.2);  // the stand-in would run for 6 s
}
