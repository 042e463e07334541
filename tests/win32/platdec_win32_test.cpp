// Platform decoders under Wine: DirectShow and Media Foundation (exact, like ffmpeg, bad input),
// DSS and RealAudio.
#include "convert/gensource.h"
#include "external/platdec.h"
#include "external/win32/mfdecode.h"
#include "tests/win32/support/wintest.h"

namespace {

using testutil::Bytes;
using wintest::Decode;
using wintest::FakeProgress;

// The decoders' temporary WAV: 16-bit PCM with an 18-byte format record.
Bytes DecodedWav(uint32_t rate, uint16_t channels, const Bytes& data) {
    return testutil::WavBytes(testutil::FmtBody(1, channels, rate, 16, 18), data);
}

// The stand-ins' blocks: block i holds the bytes (i * 7 + j) & 0xFF.
Bytes Blocks(int count, int size, int oddSize) {
    Bytes data;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < (i % 2 ? oddSize : size); ++j) data.push_back(uint8_t(i * 7 + j));
    return data;
}

const std::string kWin = "Z:\\tmp\\tamber-platdec-win32", kOut = kWin + "\\out.wav";

class DirectShow : public ::testing::Test {
  protected:
    void SetUp() override {
        std::error_code ec;
        fs::remove_all(kWin, ec);
        fs::create_directories(kWin, ec);
        SetEnvironmentVariableA("TAMBER_HOME", (kWin + "\\home").c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("TAMBER_HOME", nullptr); }
    // Writes the stand-in's script as the input file and runs the decoder on it.
    template <class Rec, int (*Body)(LProgressDialog*, Rec*)>
    int Script(const std::string& script, FakeProgress& d, const char* ext, Rec rec = {}) {
        testutil::WriteFileBytes(kWin + "\\in" + ext, {script.begin(), script.end()});
        return Decode<Rec, Body>(d, kWin + "\\in" + ext, kOut, rec);
    }
};

TEST_F(DirectShow, UnknownExtensionWavIsBitIdentical) {
    const std::string in = kWin + "\\tone.xyz";
    std::vector<int16_t> pcm = testutil::Sine(22050, 2, 40000, 440, 30000);
    pcm[0] = -32768;
    testutil::WriteWav16(in, 22050, 2, pcm);
    FakeProgress d;
    ASSERT_EQ((Decode<LDxLoadToWav, LPlatformDecodeToWav>(d, in, kOut)), LPROCESS_OK);
    const Bytes a = testutil::ReadFileBytes(in);
    EXPECT_EQ(testutil::ReadFileBytes(kOut), DecodedWav(22050, 2, {a.begin() + 44, a.end()}));
}

// The harness's files: past the delay ffmpeg drops (4096 frames from 32 kHz, else 2048), within 1.
TEST_F(DirectShow, WmaDecodesLikeFfmpegAfterTheDecoderDelay) {
    for (const char* name : {"wmav2-2-44100", "wmav1-1-22050", "wmav2-1-48000"}) {
        SCOPED_TRACE(name);
        const std::string base = std::string("Z:\\tmp\\tamber-platdec-wma\\") + name;
        if (!fs::exists(base + ".wma")) GTEST_SKIP() << "no WMA files (made by the harness)";
        FakeProgress d;
        ASSERT_EQ((Decode<LDxLoadToWav, LPlatformDecodeToWav>(d, base + ".wma", kOut)),
                  LPROCESS_OK);
        testutil::Wav16 ref = testutil::ReadWav16(base + ".ref.wav"),
                        out = testutil::ReadWav16(kOut);
        ASSERT_EQ(std::tuple(out.ok, out.rate, out.channels),
                  std::tuple(true, ref.rate, ref.channels));
        const size_t delay = (ref.rate >= 32000 ? 4096u : 2048u) * ref.channels;
        ASSERT_GT(out.samples.size(), delay + ref.samples.size() * 9 / 10);
        size_t bad = 0;
        for (size_t i = 0; i + delay < out.samples.size() && i < ref.samples.size(); ++i)
            bad += std::abs(ref.samples[i] - out.samples[i + delay]) > 1;
        EXPECT_EQ(bad, 0u);
    }
}

TEST_F(DirectShow, BadInputAndCancelLeaveNoFile) {
    std::vector<uint8_t> noise(50000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
    const std::string junk = kWin + "\\junk.xyz";
    testutil::WriteFileBytes(junk, noise);
    FakeProgress failed;
    LSourceRef src;
    EXPECT_EQ(LGenSourceOpen(src, junk.c_str(), &failed), LPROCESS_FAILED);
    EXPECT_EQ(failed.errors.size(), 1u);  // its text is the portable opener's
    char temp[LMAX_PATH];
    LFile::GetTempFolder(temp);
    EXPECT_FALSE(fs::exists(std::string(temp) + "\\Temp1.wav"));
    testutil::WriteWav16(kWin + "\\long.xyz", 8000, 1,
                         testutil::Sine(8000, 1, 8000 * 900, 440, 9000));
    FakeProgress d;
    d.CancelAfter(0);
    EXPECT_EQ((Decode<LDxLoadToWav, LPlatformDecodeToWav>(d, kWin + "\\long.xyz", kOut)),
              LPROCESS_STOPPED);
    EXPECT_FALSE(fs::exists(kOut));
    // An Ogg Opus header followed by junk fails in both platform readers at once, well inside
    // the stall limit.
    const std::string oggJunk = "Z:\\tmp\\tamber-platdec-wma\\oggjunk.opus";
    if (fs::exists(oggJunk)) {
        const auto start = std::chrono::steady_clock::now();
        FakeProgress junkDialog;
        EXPECT_EQ((Decode<LDxLoadToWav, LPlatformDecodeToWav>(junkDialog, oggJunk, kOut)),
                  LPROCESS_FAILED);
        EXPECT_LT(testutil::SecondsSince(start), 20.0);
        EXPECT_FALSE(fs::exists(kOut));
    }
    // A source that never answers (as Wine's reader of a 3-byte junk file may not): building the
    // graph is given up at the stall limit.
    const char* silent = "\\\\.\\pipe\\tamber-platdec-silent";
    HANDLE pipe = CreateNamedPipeA(silent, PIPE_ACCESS_DUPLEX, 0, 1, 4096, 4096, 0, nullptr);
    FakeProgress stalled;
    EXPECT_EQ((Decode<LDxLoadToWav, LPlatformDecodeToWav>(stalled, silent, kOut,
                                                          LDxLoadToWav{{}, {}, 2000})),
              LPROCESS_FAILED);
    EXPECT_FALSE(fs::exists(kOut));
    CloseHandle(pipe);
}

// Media Foundation's source reader, which the platform decoder tries first, on the harness's
// M4A files: ALAC as ffmpeg decodes it (and so in CAF), AAC at 40 dB against that with the
// source's length.
TEST_F(DirectShow, MediaFoundationDecodesAacAndAlacInM4a) {
    for (const char* name : {"aac", "alac"}) {
        SCOPED_TRACE(name);
        const std::string base = std::string("Z:\\tmp\\tamber-platdec-wma\\") + name;
        if (!fs::exists(base + ".m4a")) GTEST_SKIP() << "no M4A files (made by the harness)";
        FakeProgress d;
        LDxLoadToWav rec{};
        std::snprintf(rec.szInFilePath, LMAX_PATH, "%s", (base + ".m4a").c_str());
        std::snprintf(rec.szWavOutFilePath, LMAX_PATH, "%s", kOut.c_str());
        ASSERT_EQ(LMfDecodeToWav(&d, &rec), LPROCESS_OK);
        const testutil::Wav16 ref = testutil::ReadWav16(base + ".ref.wav"),
                              out = testutil::ReadWav16(kOut);
        ASSERT_EQ(std::tuple(out.ok, out.rate, out.channels), std::tuple(true, 44100, 2));
        if (name == std::string("alac")) {
            // Windows' own ALAC decoder is exact; Wine's chain scales through float and may
            // land one step off.
            EXPECT_EQ(out.samples.size(), ref.samples.size());
            EXPECT_LE(testutil::MaxDiff(out.samples, ref.samples), 1);
            // The same packets in CAF, rewrapped for the platform decoder: the same decode.
            EXPECT_EQ((Decode<LCafDecode, LDecodeCafAsMp4>(d, base + ".caf", kOut)), LPROCESS_OK);
            EXPECT_TRUE(testutil::ReadWav16(kOut).samples == out.samples);
            EXPECT_FALSE(fs::exists(kOut + ".m4a"));
        } else {
            EXPECT_NEAR(double(out.samples.size()), 2 * 88200.0, 2 * 882.0);
            EXPECT_GT(testutil::SnrDbBestOffset(ref.samples, out.samples, 2 * 4096), 40.0);
        }
    }
}

// The DSS stand-in's blocks are 480 bytes (660 for kind 3), every second one 528.
TEST_F(DirectShow, DssBlocksHeadersAndFailures) {
    wintest::RegWrite(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Components\\dss32", "Path",
                      wintest::Built("tests/standin-dlls/dss32.dll").c_str());
    for (auto [script, blocks, rate] : {std::tuple{"2 100000 5 0", 5, 8000u},  // the 8 kHz kind
                                        {"3 100000 4 0", 4, 11025u},
                                        {"1 60 9 0", 3, 11025u}}) {  // stops at the length
        FakeProgress d;
        ASSERT_EQ((Script<LDSSDecode, LDecodeDSS>(script, d, ".dss")), LPROCESS_OK) << script;
        EXPECT_EQ(testutil::ReadFileBytes(kOut),
                  DecodedWav(rate, 1, Blocks(blocks, script[0] == '3' ? 660 : 480, 528)))
            << script;
    }
    fs::remove(kOut);
    for (auto [script, message] :
         {std::pair{"1 100 5 1", kDssOpenFailedMessage}, {"1 100 5 2", kDssStartFailedMessage}}) {
        FakeProgress d;
        EXPECT_EQ((Script<LDSSDecode, LDecodeDSS>(script, d, ".dss")), LPROCESS_FAILED);
        EXPECT_EQ(d.errors, std::vector<std::string>{message});
    }
    EXPECT_FALSE(fs::exists(kOut));
    FakeProgress endless;
    endless.CancelAfter(100);
    EXPECT_EQ((Script<LDSSDecode, LDecodeDSS>("2 2000000000 -1 0", endless, ".dss")),
              LPROCESS_STOPPED);
    EXPECT_FALSE(fs::exists(kOut));
}

// The RealPlayer stand-in; the engine is looked up once per run, so the run without it is first.
TEST_F(DirectShow, RealAudioWithoutTheEngineThenItsBlocks) {
    const char* key = "Software\\RealNetworks\\Preferences\\DT_Common";
    const LReadAudioDecode slow{{}, {}, 60000};  // no stall limit on a loaded machine
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
    FakeProgress missing;
    EXPECT_EQ((Script<LReadAudioDecode, LDecodeRealAudio>("8000 1 16 3 0", missing, ".ra", slow)),
              LPROCESS_FAILED);
    EXPECT_EQ(missing.errors, std::vector<std::string>{kRealMissingMessage});

    wintest::RegWrite(HKEY_CLASSES_ROOT, key, nullptr,
                      wintest::Built("tests/standin-dlls").c_str());
    FakeProgress played;
    ASSERT_EQ((Script<LReadAudioDecode, LDecodeRealAudio>("22050 2 16 5 0", played, ".ra", slow)),
              LPROCESS_OK);
    EXPECT_EQ(testutil::ReadFileBytes(kOut), DecodedWav(22050, 2, Blocks(5, 1000, 1000)));
    // Failures (no open, no device manager, no audio) and Cancel of an endless stream: no file.
    fs::remove(kOut);
    for (const char* script : {"8000 1 16 3 1", "8000 1 16 3 2", "8000 1 16 3 3"}) {
        FakeProgress d;
        SetEnvironmentVariableA("STANDIN_RMA_NO_DEVICES",
                                std::string(script).back() == '2' ? "1" : nullptr);
        EXPECT_EQ((Script<LReadAudioDecode, LDecodeRealAudio>(script, d, ".ra", slow)),
                  LPROCESS_FAILED);
        EXPECT_EQ(d.errors, std::vector<std::string>{kRealOpenFailedMessage}) << script;
        EXPECT_FALSE(fs::exists(kOut)) << script;
    }
    FakeProgress endless;
    endless.CancelAfter(50);
    EXPECT_EQ((Script<LReadAudioDecode, LDecodeRealAudio>("8000 1 16 -1 0", endless, ".ra", slow)),
              LPROCESS_STOPPED);
    EXPECT_FALSE(fs::exists(kOut));
}

}  // namespace
