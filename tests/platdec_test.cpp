// The platform decoder through GStreamer against ffmpeg, bad input, Cancel and the stall.
#include "external/platdec.h"

#include <sys/stat.h>

#include "convert/gensource.h"
#include "tests/support/kit.h"

using testutil::FakeProgress;

namespace {

class PlatformDecoder : public ::testing::Test {
  protected:
    int Decode(const std::string& in, const std::string& out, FakeProgress& d,
               uint32_t stallMs = kPlatformDecoderStallMs) {
        LDxLoadToWav r{};
        std::snprintf(r.szInFilePath, LMAX_PATH, "%s", in.c_str());
        std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out.c_str());
        r.stallMs = stallMs;
        return LPlatformDecodeToWav(&d, &r);
    }
    std::string dir_ = testutil::ScratchHome();
};

// The largest difference of b, later by d frames, against n samples of a from `from` on; how many.
std::pair<int, size_t> Diff(const testutil::Wav16& a, const testutil::Wav16& b, int32_t d,
                            size_t from, size_t n) {
    int worst = 0;
    size_t compared = 0;
    for (size_t i = from; i < std::min(from + n, a.samples.size()); ++i) {
        const int64_t j = int64_t(i) + int64_t(d) * a.channels;
        if (j < 0 || size_t(j) >= b.samples.size()) continue;
        worst = std::max(worst, std::abs(a.samples[i] - b.samples[size_t(j)]));
        ++compared;
    }
    return {worst, compared};
}

TEST_F(PlatformDecoder, WmaMatchesFfmpegWithinOneStep) {
    if (!testutil::HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    const std::tuple<const char*, int, int32_t> cases[] = {
        {"wmav1", 1, 22050}, {"wmav2", 2, 44100}, {"wmav2", 1, 32000}, {"wmav1", 2, 48000}};
    for (auto [codec, channels, rate] : cases) {
        SCOPED_TRACE(std::string(codec) + " " + std::to_string(rate));
        const std::string src = dir_ + "/src.wav", wma = dir_ + "/in.wma", out = dir_ + "/out.wav";
        testutil::WriteWav16(src, rate, channels,
                             testutil::Sine(rate, channels, rate * 2, 997, 12000));
        ASSERT_EQ(
            testutil::Run("ffmpeg -v error -y -i " + src + " -c:a " + codec + " -b:a 96k " + wma),
            0);
        FakeProgress d;
        ASSERT_EQ(Decode(wma, out, d), LPROCESS_OK);
        EXPECT_EQ(d.lines[0] + "|" + d.lines[1], "Decoding with DirectX|in.wma");
        testutil::Wav16 a = testutil::PeerDecode("ffmpeg", wma), b = testutil::ReadWav16(out);
        ASSERT_EQ(std::tuple(b.ok, b.rate, b.channels), std::tuple(true, rate, channels));
        auto linedUp = [&](int32_t d) {  // on a loud stretch
            const auto [worst, compared] = Diff(a, b, d, 10000 * size_t(channels), 256);
            return worst <= 1 && compared == 256;
        };
        int32_t delay = -8192;  // the decoder's
        while (delay <= 8192 && !linedUp(delay)) ++delay;
        ASSERT_LE(delay, 8192);
        const auto [worst, compared] = Diff(a, b, delay, 0, a.samples.size());
        EXPECT_LE(worst, 1);
        EXPECT_GT(compared, a.samples.size() * 9 / 10);
    }
}

TEST_F(PlatformDecoder, UnknownExtensionWavComesOutEqual) {
    const std::string in = dir_ + "/tone.xyz", out = dir_ + "/out.wav";
    std::vector<int16_t> pcm = testutil::Sine(44100, 2, 30000, 440, 30000);
    pcm[0] = -32768;
    pcm[1] = 32767;
    testutil::WriteWav16(in, 44100, 2, pcm);
    FakeProgress d;
    ASSERT_EQ(Decode(in, out, d), LPROCESS_OK);
    const std::vector<uint8_t> wav = testutil::ReadFileBytes(in);  // a 44-byte header
    EXPECT_EQ(
        testutil::ReadFileBytes(out),
        testutil::WavBytes(testutil::FmtBody(1, 2, 44100, 16, 18), {wav.begin() + 44, wav.end()}));
}

TEST_F(PlatformDecoder, BadInputGetsTheOpenersMessagesAndLeavesNoTemporaryFile) {
    if (!testutil::HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    const std::string wma = dir_ + "/cut.wma", junk = dir_ + "/junk.xyz";
    testutil::WriteWav16(dir_ + "/s.wav", 44100, 2, testutil::Sine(44100, 2, 44100 * 5, 440, 9000));
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -i " + dir_ + "/s.wav -c:a wmav2 " + wma), 0);
    std::vector<uint8_t> bytes = testutil::ReadFileBytes(wma);
    bytes.resize(bytes.size() / 3);
    testutil::WriteFileBytes(wma, bytes);
    std::vector<uint8_t> noise(50000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
    testutil::WriteFileBytes(junk, noise);
    for (const auto& [path, message] :
         {std::pair{
              wma, "Cannot open file \"" + wma + "\". It is possible that the file does not exist"},
          {junk,
           "Cannot open the file \"" + junk + "\". This means that either the file format"}}) {
        SCOPED_TRACE(path);
        FakeProgress d;
        LSourceRef src;
        EXPECT_EQ(LGenSourceOpen(src, path.c_str(), &d), LPROCESS_FAILED);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_EQ(d.errors[0].rfind(message, 0), 0u) << d.errors[0];
        char temp[LMAX_PATH];  // the first free slot each time
        LFile::GetTempFolder(temp);
        EXPECT_FALSE(fs::exists(std::string(temp) + "/Temp1.wav"));
    }
}

TEST_F(PlatformDecoder, CancelAndStallEndTheDecodeWithoutAFile) {
    const std::string in = dir_ + "/long.xyz", out = dir_ + "/out.wav";
    testutil::WriteWav16(in, 8000, 1, testutil::Sine(8000, 1, 8000 * 600, 440, 9000));
    FakeProgress d;
    d.CancelAfter(0);
    EXPECT_EQ(Decode(in, out, d), LPROCESS_STOPPED);
    EXPECT_FALSE(fs::exists(out));

    // A pipe that is open but never delivers a byte.
    const std::string fifo = dir_ + "/quiet.xyz";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    FILE* writer = std::fopen(fifo.c_str(), "r+");
    ASSERT_NE(writer, nullptr);
    FakeProgress s;
    EXPECT_EQ(Decode(fifo, out, s, 300), LPROCESS_FAILED);
    EXPECT_FALSE(fs::exists(out));
    std::fclose(writer);
}

// Each kind made by its own tool, opened by LGenSourceOpen, against its reference decode: the
// lossless ones sample for sample, Opus at 40 dB against opusdec; files named for another
// format open as their content says.
TEST_F(PlatformDecoder, NewKindsAndMisnamedFilesMatchTheirReferenceDecodes) {
    enum Judge { Source, Ffmpeg, Opusdec, Length };
    const struct {
        const char* name;
        const char* make;  // shell command, SRC the 16-bit source, OUT the file
        Judge judge;
        const char* tool;
    } rows[] = {
        {"s16le.caf", "ffmpeg -v error -i SRC -c:a pcm_s16le OUT", Ffmpeg, "ffmpeg"},
        {"s16be.caf", "ffmpeg -v error -i SRC -c:a pcm_s16be OUT", Ffmpeg, "ffmpeg"},
        {"s24be.caf", "ffmpeg -v error -i SRC -c:a pcm_s24be OUT", Ffmpeg, "ffmpeg"},
        {"s24le.caf", "ffmpeg -v error -i SRC -c:a pcm_s24le OUT", Ffmpeg, "ffmpeg"},
        {"s32be.caf", "ffmpeg -v error -i SRC -c:a pcm_s32be OUT", Ffmpeg, "ffmpeg"},
        {"s8.caf", "ffmpeg -v error -i SRC -c:a pcm_s8 OUT", Ffmpeg, "ffmpeg"},
        {"f32le.caf", "ffmpeg -v error -i SRC -c:a pcm_f32le OUT", Ffmpeg, "ffmpeg"},
        {"f64be.caf", "ffmpeg -v error -i SRC -c:a pcm_f64be OUT", Ffmpeg, "ffmpeg"},
        {"alaw.caf", "ffmpeg -v error -i SRC -c:a pcm_alaw OUT", Ffmpeg, "ffmpeg"},
        {"ulaw.caf", "ffmpeg -v error -i SRC -c:a pcm_mulaw OUT", Ffmpeg, "ffmpeg"},
        // Written to a pipe: the data size is left open (-1).
        {"open.caf", "ffmpeg -v error -i SRC -c:a pcm_s16be -f caf - > OUT", Source, "ffmpeg"},
        {"alac.m4a", "ffmpeg -v error -i SRC -c:a alac OUT", Source, "ffmpeg"},
        // Rewrapped as MP4 for the platform decoder.
        {"alac.caf", "ffmpeg -v error -i SRC -c:a alac OUT", Source, "ffmpeg"},
        {"voice.opus", "opusenc --quiet SRC OUT", Opusdec, "opusenc"},
        {"voice.ogg", "opusenc --quiet SRC OUT", Opusdec, "opusenc"},
        {"lossless.wv", "wavpack -q SRC -o OUT", Source, "wavpack"},
        {"speech.amr",
         "ffmpeg -v error -i SRC -ar 8000 -ac 1 -c:a libopencore_amrnb -b:a 12.2k OUT || sox SRC "
         "-r 8000 -c 1 -t amr-nb OUT",
         Length, "sox"},
        {"song.wav", "lame --quiet SRC - > OUT", Length, "lame"},
        {"wave.mp3", "cp SRC OUT", Source, "cp"},
    };
    const std::string src = dir_ + "/src.wav";
    const std::vector<int16_t> pcm = testutil::ToneMix(44100, 2, 66150);
    ASSERT_TRUE(testutil::WriteWav16(src, 44100, 2, pcm));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!testutil::HaveTool(row.tool)) {
            std::printf("skipped %s: no %s\n", row.name, row.tool);
            continue;
        }
        const std::string out = dir_ + "/" + row.name;
        std::string cmd = row.make;
        for (size_t at; (at = cmd.find("SRC")) != std::string::npos;) cmd.replace(at, 3, src);
        for (size_t at; (at = cmd.find("OUT")) != std::string::npos;) cmd.replace(at, 3, out);
        if (testutil::Run(cmd + " 2>/dev/null") != 0) {
            std::printf("skipped %s: no encoder\n", row.name);
            continue;
        }
        FakeProgress d;
        LSourceRef opened;
        ASSERT_EQ(LGenSourceOpen(opened, out.c_str(), &d), LPROCESS_OK);
        ASSERT_EQ(opened->GetError(), LSRC_OK);
        EXPECT_TRUE(d.errors.empty());
        const std::vector<int16_t> got = testutil::ReadAll16(*opened);
        const int32_t rate = opened->GetSampleRate();
        if (row.judge == Source) {
            EXPECT_TRUE(got == pcm);
        } else if (row.judge == Ffmpeg) {
            EXPECT_TRUE(got == testutil::FfmpegDecode(out));
        } else if (row.judge == Opusdec) {
            ASSERT_EQ(testutil::Run("opusdec --quiet --rate 48000 --no-dither " + out + " " + out +
                                    ".ref.wav"),
                      0);
            const testutil::Wav16 ref = testutil::ReadWav16(out + ".ref.wav");
            ASSERT_EQ(std::tuple(rate, opened->GetChannels()), std::tuple(ref.rate, ref.channels));
            EXPECT_NEAR(double(got.size()), double(ref.samples.size()), ref.samples.size() / 100.0);
            const double snr = testutil::SnrDbBestOffset(ref.samples, got, 4);
            std::printf("%s: %.1f dB against opusdec, %zu/%zu samples\n", row.name, snr, got.size(),
                        ref.samples.size());
            EXPECT_GE(snr, 40);
        } else {  // as long as the source, give or take the codec's frames
            const double seconds = double(got.size()) / opened->GetChannels() / rate;
            EXPECT_NEAR(seconds, 1.5, 0.05);
        }
    }
}

// Damaged or unreadable files of the new kinds get the opener's messages, and quickly.
TEST_F(PlatformDecoder, BadBytesOfTheNewKindsGetTheOpenersMessages) {
    testutil::Bytes noise(30000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
    testutil::Bytes cut = {'c', 'a', 'f', 'f', 0, 1, 0, 0, 'd', 'e',
                           's', 'c', 0,   0,   0, 0, 0, 0, 0,   32};
    const std::string notSupported = "\". This means that either the file format is not supported";
    // An Ogg Opus file's two header pages, then junk: nothing in it decodes.
    testutil::Bytes oggJunk;
    const std::string wav = dir_ + "/note.wav", note = dir_ + "/note.opus";
    ASSERT_TRUE(testutil::WriteWav16(wav, 48000, 1, testutil::Sine(48000, 1, 48000, 300, 9000)));
    ASSERT_EQ(testutil::Run("opusenc --quiet " + wav + " " + note), 0);
    const testutil::Bytes encoded = testutil::ReadFileBytes(note);
    for (size_t at = 0, page = 0; page < 2 && at + 27 <= encoded.size(); ++page) {
        size_t end = at + 27 + encoded[at + 26];
        for (size_t k = at + 27; k < at + 27 + encoded[at + 26]; ++k) end += encoded[k];
        oggJunk.insert(oggJunk.end(), encoded.begin() + long(at), encoded.begin() + long(end));
        at = end;
    }
    oggJunk.insert(oggJunk.end(), noise.begin(), noise.end());
    const std::tuple<const char*, testutil::Bytes, std::string> cases[] = {
        {"junk.opus", oggJunk, notSupported},
        {"junk.ogg", oggJunk, "\": the decoder \"oggdec\" could not complete it."},
        {"cut.caf", cut, "\" because it is corrupt."},
        {"noise.caf", noise, "\" because it is corrupt."},
        {"noise.opus", noise, notSupported},
        {"noise.wv", noise, notSupported},
        {"caf.wav", cut, "\" because it is corrupt."},
    };
    for (const auto& [name, bytes, message] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir_ + "/" + name;
        testutil::WriteFileBytes(path, bytes);
        const auto start = std::chrono::steady_clock::now();
        FakeProgress d;
        LSourceRef src;
        EXPECT_EQ(LGenSourceOpen(src, path.c_str(), &d), LPROCESS_FAILED);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_EQ(d.errors[0].rfind("Cannot open the file \"" + path + message, 0), 0u)
            << d.errors[0];
        EXPECT_LT(testutil::SecondsSince(start), 20);
    }
}

TEST(DecodedWav, StopsBeforeTheHeaderWraps) {
    const std::string out = testutil::ScratchDir() + "/big.wav";
    uint8_t format[20] = {};
    LPcmFormat(format, 1, 8000, 16, 2);
    LDecodedWav w;
    ASSERT_TRUE(w.Create(out.c_str(), format, 2));
    w.limit = 1000;  // as if the file were near 4 GiB
    uint8_t block[480] = {};
    EXPECT_TRUE(w.Append(block, 480) && w.Append(block, 480));
    EXPECT_FALSE(w.Append(block, 480));
    EXPECT_TRUE(w.Full() && !w.Append(block, 2) && w.DataBytes() == 960u);
    w.Abandon();
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
