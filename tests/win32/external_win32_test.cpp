// Encoder pipes and decoders under Windows against stand-ins: command lines, audio, failures.
#include <chrono>

#include "external/decoders.h"
#include "external/encoders.h"
#include "external/process.h"
#include "support/win32/wide.h"
#include "tests/support/soundutil.h"
#include "tests/win32/support/wintest.h"

namespace {

using testutil::SecondsSince;
using wintest::Decode;

// Copies the stand-in under the name of the program it replaces and registers it.
void Install(const std::string& dir, const char* program, const char* component) {
    std::string exe = dir + "\\" + program + ".exe";
    EXPECT_TRUE(CopyFileA(wintest::Built("tests/standin_codec.exe").c_str(), exe.c_str(), FALSE));
    wintest::RegWrite(HKEY_LOCAL_MACHINE,
                      "Software\\Velmora\\Components\\" + std::string(component), "Path",
                      exe.c_str());
}

class StandIns : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { SetEnvironmentVariableA("STANDIN_MODE", nullptr); }
    std::string dir = testutil::ScratchDir() + "\\my tools";
};

}  // namespace

// Also into a file whose name the encoder's ANSI code page cannot hold (claimed empty first, as
// the job claims its passing file): the encoder gets the file's short name.
TEST_F(StandIns, EncoderGetsEverySample) {
    const std::vector<int16_t> pcm = testutil::ToneMix(44100, 2, 30000);
    Install(dir, "lame", "mp3el");
    CreateDirectoryW(LWide((dir + "\\日本").c_str()).c_str(), nullptr);
    for (const std::string out : {dir + "\\out put.x", dir + "\\日本\\歌 – 1.x"}) {
        ASSERT_TRUE(testutil::WriteFileBytes(out, {}));
        LSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), LMP3EncodeSettings(), 2, 44100);
        ASSERT_TRUE(sink && !sink->IsUnusable());
        testutil::Feed(*sink, testutil::Internal(pcm));
        sink.reset();
        const testutil::Wav16 w = testutil::ReadWav16(out);
        EXPECT_EQ(std::tuple(w.rate, w.channels, w.samples), std::tuple(44100, 2, pcm)) << out;
    }
}

TEST_F(StandIns, FailingEncodersNeverHangTheConversion) {
    Install(dir, "lame", "mp3el");
    const std::string out = dir + "\\out.mp3";
    const std::vector<int32_t> block(size_t(LSOUND_BLOCK_FRAMES) * 2, 160);
    const auto open = [&](const char* mode) {
        SetEnvironmentVariableA("STANDIN_MODE", mode);
        return LMP3EncodePipe::OpenMp3Sink(out.c_str(), LMP3EncodeSettings(), 2, 44100);
    };
    // Two hundred blocks, more than the pipe holds; whether every write succeeded.
    const auto writeAll = [&](LSinkRef& sink) {
        int ok = 1;
        for (int i = 0; i < 200; ++i) ok &= sink->Write(block.data(), LSOUND_BLOCK_FRAMES);
        return ok != 0;
    };
    auto start = std::chrono::steady_clock::now();
    LSinkRef sink = open("crash");  // half a second into its input
    ASSERT_TRUE(sink && !sink->IsUnusable());
    EXPECT_FALSE(writeAll(sink));
    sink.reset();
    EXPECT_FALSE(fs::exists(out));
    EXPECT_LT(SecondsSince(start), 10.0);

    // An encoder that never reads: the input is cut after the stall limit, the end waits <= 3 s.
    const uint32_t limit = LPipeOut::stallLimitMs;
    LPipeOut::stallLimitMs = 1000;
    sink = open("stall");
    ASSERT_TRUE(sink);
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(writeAll(sink));
    EXPECT_NEAR(SecondsSince(start), 1.7, 0.8);
    sink.reset();
    LPipeOut::stallLimitMs = limit;
    EXPECT_LT(SecondsSince(start), 5.5);  // the stand-in itself would sleep for 6 s
}

TEST_F(StandIns, DecoderWritesTheTemporaryWav) {
    const std::string in = dir + "\\in put.wav", out = dir + "\\Temp1.wav";
    const std::vector<int16_t> pcm = testutil::ToneMix(22050, 2, 5000);
    ASSERT_TRUE(testutil::WriteWav16(in, 22050, 2, pcm));
    const std::vector<uint8_t> original = testutil::ReadFileBytes(in);
    Install(dir, "shorten", "shndec");
    testutil::FakeProgress decoded;
    EXPECT_EQ((Decode<LShnDecode, LDecodeShn>(decoded, in, out)), LPROCESS_OK);
    EXPECT_EQ(testutil::ReadFileBytes(out), original);
    // A decoder that fails fails the decode with the decoder message; the input is untouched.
    SetEnvironmentVariableA("STANDIN_MODE", "exit");
    testutil::FakeProgress failed;
    EXPECT_EQ((Decode<LShnDecode, LDecodeShn>(failed, in, out)), LPROCESS_FAILED);
    EXPECT_EQ(failed.errors.size(), 1u);
    EXPECT_EQ(testutil::ReadFileBytes(in), original);

    // The VoiceIt library; a failure it reports (no such input) shows no message.
    testutil::FakeProgress dlg;
    ASSERT_TRUE(SetDllDirectoryA(wintest::Built("tests/standin-dlls").c_str()));
    DeleteFileA(out.c_str());
    EXPECT_EQ((Decode<LVoiceItDecode, LDecodeVoiceIt>(dlg, in, out)), LPROCESS_OK);
    EXPECT_EQ(testutil::ReadWav16(out).samples, pcm);
    EXPECT_EQ((Decode<LVoiceItDecode, LDecodeVoiceIt>(dlg, dir + "\\missing.sri", out)),
              LPROCESS_FAILED);
    EXPECT_TRUE(dlg.errors.empty());
    SetDllDirectoryA(nullptr);
}

TEST_F(StandIns, CancelEndsTheDecodeAtOnce) {
    Install(dir, "actdec", "actdec");
    SetEnvironmentVariableA("STANDIN_MODE", "stall");
    testutil::FakeProgress fake;
    fake.CancelAfter(700);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ((Decode<LACTDecode, LDecodeACT>(fake, dir + "\\a.act", dir + "\\Temp1.wav")),
              LPROCESS_STOPPED);
    EXPECT_LT(SecondsSince(t0), 1.2);  // the stand-in would run for 6 s
}
