// Platform decoders under Wine: a WAV under an unknown extension comes out of the DirectShow graph
// bit-identical, bad input gets the opener's messages, Cancel; DSS and RealAudio through stand-in
// libraries.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/gensource.h"
#include "external/components.h"
#include "external/platdec.h"
#include "store/registry.h"
#include "support/byteorder.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"
#include "tests/win32/support/wintest.h"

namespace fs = std::filesystem;
using testutil::FakeProgress;

namespace {

// The decoders' temporary WAV: 16-bit PCM with an 18-byte format record.
testutil::Bytes DecodedWav(uint32_t rate, uint16_t channels, const testutil::Bytes& data) {
    return testutil::WavBytes(testutil::FmtBody(1, channels, rate, 16, 18), data);
}

const std::string kWin = "Z:\\tmp\\tamber-platdec-win32";

class DirectShow : public ::testing::Test {
  protected:
    void SetUp() override {
        std::error_code ec;
        fs::remove_all(kWin, ec);
        fs::create_directories(kWin, ec);
        SetEnvironmentVariableA("TAMBER_HOME", (kWin + "\\home").c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("TAMBER_HOME", nullptr); }
    int Decode(const std::string& in, const std::string& out, FakeProgress& d) {
        LDxLoadToWav r{};
        std::snprintf(r.szInFilePath, LMAX_PATH, "%s", in.c_str());
        std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out.c_str());
        return Process(&d, &r);
    }
};

TEST_F(DirectShow, UnknownExtensionWavIsBitIdentical) {
    const std::string in = kWin + "\\tone.xyz", out = kWin + "\\out.wav";
    std::vector<int16_t> pcm = testutil::Sine(22050, 2, 40000, 440, 30000);
    pcm[0] = -32768;
    testutil::WriteWav16(in, 22050, 2, pcm);
    FakeProgress d;
    ASSERT_EQ(Decode(in, out, d), LPROCESS_OK);
    EXPECT_EQ(d.lines[0], "Decoding with DirectX");
    EXPECT_EQ(d.lines[1], "tone.xyz");
    const testutil::Bytes a = testutil::ReadFileBytes(in);
    EXPECT_EQ(testutil::ReadFileBytes(out), DecodedWav(22050, 2, {a.begin() + 44, a.end()}));
}

// Files made by the harness script with ffmpeg: the graph keeps the decoder delay that ffmpeg
// drops (4096 frames from 32 kHz up, 2048 below); from there on each sample is ffmpeg's within
// one step.
TEST_F(DirectShow, WmaDecodesLikeFfmpegAfterTheDecoderDelay) {
    const char* names[] = {"wmav2-2-44100", "wmav1-1-22050", "wmav2-1-48000"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string base = std::string("Z:\\tmp\\tamber-platdec-wma\\") + name;
        if (!fs::exists(base + ".wma")) GTEST_SKIP() << "no WMA files (made by the harness)";
        FakeProgress d;
        ASSERT_EQ(Decode(base + ".wma", kWin + "\\out.wav", d), LPROCESS_OK);
        testutil::Wav16 ref = testutil::ReadWav16(base + ".ref.wav");
        testutil::Wav16 out = testutil::ReadWav16(kWin + "\\out.wav");
        ASSERT_TRUE(ref.ok && out.ok);
        ASSERT_EQ(out.rate, ref.rate);
        ASSERT_EQ(out.channels, ref.channels);
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
    testutil::WriteFileBytes(kWin + "\\junk.xyz", noise);
    struct Case {
        std::string path, message;
    } cases[] = {
        {kWin + "\\junk.xyz", "\". This means that either the file format is not supported"},
        {kWin + "\\none.xyz", "\". Check it exists"},
    };
    char temp[LMAX_PATH];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FakeProgress d;
        LSourceRef src;
        EXPECT_EQ(LGenSourceOpen(src, c.path.c_str(), &d), LPROCESS_FAILED);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_NE(d.errors[0].find(c.path + c.message), std::string::npos) << d.errors[0];
        LFile::GetTempFolder(temp);
        EXPECT_FALSE(fs::exists(std::string(temp) + "\\Temp1.wav"));
    }
    testutil::WriteWav16(kWin + "\\long.xyz", 8000, 1,
                         testutil::Sine(8000, 1, 8000 * 900, 440, 9000));
    FakeProgress d;
    d.CancelAfter(0);
    EXPECT_EQ(Decode(kWin + "\\long.xyz", kWin + "\\out.wav", d), LPROCESS_STOPPED);
    EXPECT_FALSE(fs::exists(kWin + "\\out.wav"));
}

// The DSS library stand-in: its "files" say kind, length, block count (-1: endless) and failure.
class Dss : public DirectShow {
  protected:
    void SetUp() override {
        DirectShow::SetUp();
        char key[LMAX_PATH];
        const std::string dll = wintest::Built("tests/standin-dlls/dss32.dll");
        ComponentKeyPath(key, "dss32");
        RegistryWriteString(LRegistryRoot::LocalMachine, key, "Path", dll.c_str());
    }
    int Decode(const std::string& script, FakeProgress& d) {
        testutil::WriteFileBytes(kWin + "\\in.dss",
                                 std::vector<uint8_t>(script.begin(), script.end()));
        LDSSDecode r{};
        std::snprintf(r.szDSSInFilePath, LMAX_PATH, "%s", (kWin + "\\in.dss").c_str());
        std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", (kWin + "\\out.wav").c_str());
        return Process(&d, &r);
    }
    // The file the stand-in's blocks must give.
    static testutil::Bytes Expected(int kind, int blocks, uint32_t rate) {
        testutil::Bytes data;
        for (int i = 0; i < blocks; ++i) {
            const int size = i % 2 ? 528 : kind == 3 ? 660 : 480;
            for (int j = 0; j < size; ++j) data.push_back(uint8_t(i * 7 + j));
        }
        return DecodedWav(rate, 1, data);
    }
};

TEST_F(Dss, BlocksAndHeadersByKind) {
    struct Case {
        const char* script;
        int kind, blocks;
        uint32_t rate;
    } cases[] = {{"2 100000 5 0", 2, 5, 8000},  // the 8 kHz kind
                 {"3 100000 4 0", 3, 4, 11025},
                 {"1 60 9 0", 1, 3, 11025}};  // stops once the decoded time reaches the length
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        FakeProgress d;
        ASSERT_EQ(Decode(c.script, d), LPROCESS_OK);
        EXPECT_EQ(d.lines[0], "Decoding DSS File");
        EXPECT_EQ(testutil::ReadFileBytes(kWin + "\\out.wav"), Expected(c.kind, c.blocks, c.rate));
    }
}

TEST_F(Dss, FailuresShowTheirMessagesAndLeaveNoFile) {
    FakeProgress open, start, endless;
    EXPECT_EQ(Decode("1 100 5 1", open), LPROCESS_FAILED);
    EXPECT_EQ(open.errors, std::vector<std::string>{kDssOpenFailedMessage});
    EXPECT_EQ(Decode("1 100 5 2", start), LPROCESS_FAILED);
    EXPECT_EQ(start.errors, std::vector<std::string>{kDssStartFailedMessage});
    EXPECT_FALSE(fs::exists(kWin + "\\out.wav"));
    endless.CancelAfter(100);
    EXPECT_EQ(Decode("2 2000000000 -1 0", endless), LPROCESS_STOPPED);
    EXPECT_FALSE(fs::exists(kWin + "\\out.wav"));
}

// The RealPlayer engine stand-in: its "files" say rate, channels, bits, block count (-1:
// endless) and failure. The engine is looked up once per run, so the run without it comes first.
class RealAudio : public DirectShow {
  protected:
    static constexpr const char* kKey = "Software\\RealNetworks\\Preferences\\DT_Common";
    int Decode(const std::string& script, FakeProgress& d, uint32_t stallMs = 60000) {
        testutil::WriteFileBytes(kWin + "\\in.ra",
                                 std::vector<uint8_t>(script.begin(), script.end()));
        LReadAudioDecode r{};
        std::snprintf(r.szRAInFilePath, LMAX_PATH, "%s", (kWin + "\\in.ra").c_str());
        std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", (kWin + "\\out.wav").c_str());
        r.stallMs = stallMs;
        return Process(&d, &r);
    }
};

TEST_F(RealAudio, WithoutTheEngineSaysSo) {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kKey);
    FakeProgress d;
    EXPECT_EQ(Decode("8000 1 16 3 0", d), LPROCESS_FAILED);
    EXPECT_EQ(d.errors, std::vector<std::string>{kRealMissingMessage});
    EXPECT_EQ(d.lines[0], "Decoding Real Audio");
    EXPECT_EQ(d.lines[1], "in.ra");
}

TEST_F(RealAudio, TheEnginesBlocksBecomeTheWavFile) {
    const std::string folder = wintest::Built("tests/standin-dlls");
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, folder.c_str(), DWORD(folder.size())),
              ERROR_SUCCESS);
    for (auto [rate, channels] : {std::pair{22050, 2}, std::pair{8000, 1}}) {
        FakeProgress d;
        ASSERT_EQ(Decode(std::to_string(rate) + " " + std::to_string(channels) + " 16 5 0", d),
                  LPROCESS_OK);
        testutil::Bytes data;
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 1000; ++j) data.push_back(uint8_t(i * 7 + j));
        EXPECT_EQ(testutil::ReadFileBytes(kWin + "\\out.wav"),
                  DecodedWav(rate, uint16_t(channels), data));
    }
    // Failures: the file does not open, no device manager, no audio; an endless stream stops on
    // Cancel. None leaves a file.
    fs::remove(kWin + "\\out.wav");
    for (const char* script : {"8000 1 16 3 1", "8000 1 16 3 2", "8000 1 16 3 3"}) {
        SCOPED_TRACE(script);
        FakeProgress d;
        SetEnvironmentVariableA("STANDIN_RMA_NO_DEVICES",
                                std::string(script).back() == '2' ? "1" : nullptr);
        EXPECT_EQ(Decode(script, d), LPROCESS_FAILED);
        EXPECT_EQ(d.errors, std::vector<std::string>{kRealOpenFailedMessage});
        EXPECT_FALSE(fs::exists(kWin + "\\out.wav"));
    }
    FakeProgress endless;
    endless.CancelAfter(50);
    EXPECT_EQ(Decode("8000 1 16 -1 0", endless), LPROCESS_STOPPED);
    EXPECT_FALSE(fs::exists(kWin + "\\out.wav"));
}

}  // namespace
