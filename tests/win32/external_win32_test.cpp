// Encoder pipes and command-line decoders under Windows, against stand-in programs that record
// their command lines: exact command lines, exact audio, and failing programs.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "convert/formattable.h"
#include "external/components.h"
#include "external/decoders.h"
#include "external/encoders.h"
#include "external/process.h"
#include "store/registry.h"
#include "tests/support/acm_records.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/signal.h"
#include "tests/support/sourceutil.h"
#include "tests/support/testutil.h"

namespace fs = std::filesystem;

namespace {

std::string TestFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path().string();
}

// Copies the stand-in under the name of the program it replaces and registers it.
std::string Install(const std::string& dir, const char* program, const char* component) {
    std::string exe = dir + "\\" + program + ".exe";
    EXPECT_TRUE(CopyFileA((TestFolder() + "\\standin_codec.exe").c_str(), exe.c_str(), FALSE));
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

TEST_F(StandIns, EncodersGetTheirExactCommandLinesAndEverySample) {
    const std::string out = dir + "\\out put.x";
    const std::vector<int16_t> pcm = Ramp(2 * 30000);
    LMP3EncodeSettings mp3, mono;
    mono.cbrBitRate = 16;    // 22050 Hz mono
    LOggEncodeSettings ogg;  // quality 4, mono: a stereo input is down-mixed by the encoder
    LAACEncodeSettings aac;
    aac.averageBitRate = true;
    aac.abrBitRate = 320;
    LFlacEncodeSettings fl;
    fl.channels = 2;
    fl.sampleRate = 48000;
    const char* o = " -o ";
    struct Case {
        const char *program, *component;
        std::function<LSinkRef()> open;
        int channelsFed;
        int32_t rate;  // of the recorded audio, 0: not checked
        std::string args;
    } cases[] = {
        {"lame", "mp3el", [&] { return LMP3EncodePipe::OpenMp3Sink(out.c_str(), mp3, 2, 44100); },
         2, 44100, "-m j -b 128 -h -r -s 44.100 -S - "},
        {"lame", "mp3el", [&] { return LMP3EncodePipe::OpenMp3Sink(out.c_str(), mono, 2, 44100); },
         1, 22050, "-m m -b 16 -h -r -s 22.050 -S - "},
        {"oggenc", "oggenc",
         [&] { return LOggEncodePipe::OpenOggSink(out.c_str(), ogg, 2, 22050); }, 2, 0,
         std::string("-C 2 -R 22050 --downmix -q 4 -Q -") + o},
        {"faac", "aacenc", [&] { return LAACEncodePipe::OpenAACSink(out.c_str(), aac, 1, 16000); },
         1, 16000, std::string("-C 1 -R 16000 -b 72 -X -") + o},
        {"flac", "flacenc", [&] { return LFlacEncodePipe::OpenFlacSink(out.c_str(), fl); }, 2,
         48000,
         std::string("--channels=2 --sample-rate=48000 --compression-level-4 --endian=little "
                     "--bps=16 --sign=signed -f -") +
             o},
    };
    for (const Case& c : cases) {
        const std::string exe = Install(dir, c.program, c.component);
        LSinkRef sink = c.open();
        ASSERT_TRUE(sink && !sink->IsUnusable()) << c.args;
        Feed(sink, pcm, c.channelsFed);
        sink.reset();
        EXPECT_EQ(Recorded(exe), "\"" + exe + "\" " + c.args + "\"" + out + "\"");
        const testutil::Wav16 w = testutil::ReadWav16(out);
        if (c.rate) EXPECT_EQ(w.rate, c.rate) << c.args;
        EXPECT_EQ(w.channels, c.channelsFed) << c.args;
        EXPECT_EQ(w.samples, pcm) << c.args;
    }

    // Not installed: no sink, no process.
    char key[LMAX_PATH];
    ComponentKeyPath(key, "flacenc");
    RegistryDeleteValue(LRegistryRoot::LocalMachine, key, "Path");
    EXPECT_FALSE(LFlacEncodePipe::OpenFlacSink(out.c_str(), fl));
}

// The LAME that the setup file ships, behind the same command line: what it writes decodes back
// to what the pipe fed it (after the encoder's delay).
TEST_F(StandIns, ShippedLameEncodesWhatThePipeFeedsIt) {
    const std::string lame = dir + "\\lame.exe", out = dir + "\\real.mp3";
    ASSERT_TRUE(CopyFileA(TAMBER_BINARY_DIR "/lame.exe", lame.c_str(), FALSE));
    char key[LMAX_PATH];
    ComponentKeyPath(key, "mp3el");
    RegistryWriteString(LRegistryRoot::LocalMachine, key, "Path", lame.c_str());
    const std::vector<int16_t> pcm = testutil::ToneMix(44100, 2, 2 * 44100);
    LMP3EncodeSettings mp3;
    LSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), mp3, 2, 44100);
    ASSERT_TRUE(sink && !sink->IsUnusable());
    Feed(sink, pcm, 2);
    testutil::FakeProgress dlg;
    EXPECT_EQ(sink->Finish(&dlg), LPROCESS_OK);
    sink.reset();
    LSourceRef src = LFindInputFormat(".mp3").open(out.c_str());
    ASSERT_EQ(src->GetError(), 0);
    const std::vector<int16_t> decoded = testutil::ReadAll16(*src);
    ASSERT_GT(decoded.size(), pcm.size() / 2);
    const std::vector<int16_t> window(pcm.begin() + 44100, pcm.begin() + 44100 + 2 * 8192);
    double best = 0;
    for (size_t delay = 0; delay <= 3000; ++delay) {
        const size_t at = 2 * (22050 + delay);
        if (at + window.size() > decoded.size()) break;
        best =
            std::max(best, testutil::Correlation(
                               window, std::vector<int16_t>(decoded.begin() + at,
                                                            decoded.begin() + at + window.size())));
    }
    EXPECT_GT(best, 0.95);
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

TEST_F(StandIns, PipeDeliversEveryByteWhenTheReaderLagsBehind) {
    Install(dir, "lame", "mp3el");
    std::string out = dir + "\\out.mp3";
    LMP3EncodeSettings mp3;
    LSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), mp3, 2, 44100);
    ASSERT_TRUE(sink);
    std::vector<int16_t> pcm = Ramp(size_t(2) * 44100 * 60);  // one minute, 10 MB
    auto start = std::chrono::steady_clock::now();
    Feed(sink, pcm, 2);
    sink.reset();
    std::printf("pipe into the stand-in: %.1f MB/s\n", pcm.size() * 2 / 1e6 / Seconds(start));
    EXPECT_EQ(testutil::ReadWav16(out).samples, pcm);
}

TEST_F(StandIns, DecodersWriteTheTemporaryWav) {
    std::string input = dir + "\\in put.wav";
    std::vector<int16_t> pcm = Ramp(2 * 5000);
    ASSERT_TRUE(testutil::WriteWav16(input, 22050, 2, pcm));
    std::vector<uint8_t> original = testutil::ReadFileBytes(input);
    std::string out = dir + "\\Temp1.wav";
    struct Case {
        const char* program;
        const char* component;
        std::string expected;
    };
    std::string faad = dir + "\\faad.exe", oggdec = dir + "\\oggdec.exe", flac = dir + "\\flac.exe",
                actdec = dir + "\\actdec.exe", shorten = dir + "\\shorten.exe";
    const Case cases[] = {
        {"faad", "aacdec", "\"" + faad + "\" -d  -o \"" + out + "\" \"" + input + "\""},
        {"oggdec", "oggdec", "\"" + oggdec + "\" -o \"" + out + "\" \"" + input + "\""},
        {"flac", "flacdec", "\"" + flac + "\" -d -o \"" + out + "\" \"" + input + "\""},
        {"actdec", "actdec", "\"" + actdec + "\" \"" + input + "\" \"" + out + "\""},
        {"shorten", "shndec", "\"" + shorten + "\" -x \"" + input + "\" \"" + out + "\""},
    };
    for (const Case& c : cases) {
        std::string exe = Install(dir, c.program, c.component);
        DeleteFileA(out.c_str());
        testutil::FakeProgress dlg;
        int status = LPROCESS_FAILED;
        char in[LMAX_PATH], o[LMAX_PATH];
        std::snprintf(in, sizeof in, "%s", input.c_str());
        std::snprintf(o, sizeof o, "%s", out.c_str());
        auto run = [&](auto rec) {
            std::memcpy(reinterpret_cast<char*>(&rec), in, LMAX_PATH);
            std::memcpy(reinterpret_cast<char*>(&rec) + LMAX_PATH, o, LMAX_PATH);
            return Process(&dlg, &rec);
        };
        std::string comp = c.component;
        if (comp == "aacdec") status = run(LAACDecode{});
        if (comp == "oggdec") status = run(LOggDecode{});
        if (comp == "flacdec") status = run(LFLACDecode{});
        if (comp == "actdec") status = run(LACTDecode{});
        if (comp == "shndec") status = run(LShnDecode{});
        EXPECT_EQ(status, LPROCESS_OK) << c.program;
        EXPECT_EQ(Recorded(exe), c.expected);
        EXPECT_EQ(testutil::ReadWav16(out).samples, pcm) << c.program;
        EXPECT_EQ(dlg.lines[1], "in put.wav");
    }
    // A decoder that fails with an error code fails the decode with the decoder message; one
    // that ends well but writes a broken file leaves the opener no usable WAV. The input is
    // never touched.
    for (const char* mode : {"exit", "broken"}) {
        SetEnvironmentVariableA("STANDIN_MODE", mode);
        DeleteFileA(out.c_str());
        testutil::FakeProgress dlg;
        LShnDecode rec{};
        std::snprintf(rec.szShnInFilePath, LMAX_PATH, "%s", input.c_str());
        std::snprintf(rec.szWavOutFilePath, LMAX_PATH, "%s", out.c_str());
        const bool exits = std::string(mode) == "exit";
        EXPECT_EQ(Process(&dlg, &rec), exits ? LPROCESS_FAILED : LPROCESS_OK) << mode;
        EXPECT_EQ(dlg.errors.size(), exits ? 1u : 0u) << mode;
        EXPECT_FALSE(testutil::ReadWav16(out).ok);
    }
    EXPECT_EQ(testutil::ReadFileBytes(input), original);

    // The VoiceIt library is not installed here.
    testutil::FakeProgress dlg;
    LVoiceItDecode sri{};
    std::snprintf(sri.szSriInFilePath, LMAX_PATH, "%s", input.c_str());
    EXPECT_EQ(Process(&dlg, &sri), LPROCESS_FAILED);
    ASSERT_EQ(dlg.errors.size(), 1u);
    EXPECT_EQ(dlg.errors[0], VoiceItMissingMessage());
}

TEST_F(StandIns, VoiceItLibraryIsCalledWithBothPaths) {
    std::string input = dir + "\\in put.sri", out = dir + "\\Temp1.wav";
    std::vector<int16_t> pcm = Ramp(2000);
    ASSERT_TRUE(testutil::WriteWav16(input, 8000, 1, pcm));
    ASSERT_TRUE(SetDllDirectoryA((TestFolder() + "\\standin-dlls").c_str()));
    testutil::FakeProgress dlg;
    LVoiceItDecode rec{};
    std::snprintf(rec.szSriInFilePath, LMAX_PATH, "%s", input.c_str());
    std::snprintf(rec.szWavOutFilePath, LMAX_PATH, "%s", out.c_str());
    EXPECT_EQ(Process(&dlg, &rec), LPROCESS_OK);
    EXPECT_EQ(testutil::ReadWav16(out).samples, pcm);
    EXPECT_EQ(dlg.lines[0], "Decoding VoiceIt File");
    EXPECT_EQ(dlg.lines[1], input);
    // The library reports a failure (no such input): no message, the status says it.
    std::snprintf(rec.szSriInFilePath, LMAX_PATH, "%s\\missing.sri", dir.c_str());
    EXPECT_EQ(Process(&dlg, &rec), LPROCESS_FAILED);
    EXPECT_TRUE(dlg.errors.empty());
    SetDllDirectoryA(nullptr);
}

TEST_F(StandIns, CancelInTheProgressWindowEndsTheDecodeAtOnce) {
    Install(dir, "actdec", "actdec");
    SetEnvironmentVariableA("STANDIN_MODE", "stall");
    LACTDecode rec{};
    std::snprintf(rec.szACTInFilePath, LMAX_PATH, "%s\\a.act", dir.c_str());
    std::snprintf(rec.szWavOutFilePath, LMAX_PATH, "%s\\Temp1.wav", dir.c_str());
    {
        // The wait itself ends as soon as the cancel is pumped.
        testutil::FakeProgress fake;
        fake.CancelAfter(700);
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(Process(&fake, &rec), LPROCESS_STOPPED);
        EXPECT_LT(Seconds(t0), 1.2);
    }
    LProgressProcess<LACTDecode> dlg("Loading Record file", &rec);
    auto start = std::chrono::steady_clock::now();
    double shown = 0;
    std::thread canceller([&] {
        for (int i = 0; i < 500 && !dlg.GetWindow(); ++i) Sleep(10);
        shown = Seconds(start);
        Sleep(700);
        PostMessageA(static_cast<HWND>(dlg.GetWindow()), WM_COMMAND, IDCANCEL, 0);
    });
    dlg.Run(nullptr);
    double took = Seconds(start);
    canceller.join();
    EXPECT_EQ(dlg.status, LPROCESS_STOPPED);
    // Cancel 0.7 s after the window showed; the stand-in would run for 6 s.
    EXPECT_LT(took - shown, 1.8);
}
