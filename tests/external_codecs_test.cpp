// Round trips through the real encoders and decoders: lame, oggenc, flac, oggdec, faad (AAC
// made by ffmpeg).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "convert/gensink.h"
#include "convert/gensource.h"
#include "core/transfer.h"
#include "external/components.h"
#include "external/decoders.h"
#include "external/encoders.h"
#include "formats/wav.h"
#include "store/registry.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"

namespace {

double SnrAt(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int channels, int shift,
             size_t step) {
    double sig = 0, err = 0;
    size_t frames = a.size() / channels;
    for (size_t i = 4000; i + 4000 < frames; i += step) {
        int64_t j = int64_t(i) + shift;
        if (j < 0 || size_t(j + 1) * channels > b.size()) {
            for (int c = 0; c < channels; ++c) {  // missing output counts as noise
                double x = a[i * channels + c];
                sig += x * x;
                err += x * x;
            }
            continue;
        }
        for (int c = 0; c < channels; ++c) {
            double x = a[i * channels + c], y = b[size_t(j) * channels + c];
            sig += x * x;
            err += (x - y) * (x - y);
        }
    }
    return sig > 0 ? 10 * std::log10(sig / std::max(err, 1e-9)) : -100;
}

// Signal-to-noise ratio (dB) of b against a, at the best offset of b within +-maxShift frames.
double BestSnr(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int channels,
               int maxShift) {
    int bestShift = 0;
    double best = -1000;
    for (int shift = -maxShift; shift <= maxShift; ++shift) {
        double snr = SnrAt(a, b, channels, shift, 7);
        if (snr > best) best = snr, bestShift = shift;
    }
    return SnrAt(a, b, channels, bestShift, 1);
}

// Feeds the samples to the sink in transfer-sized blocks.
void Feed(LSinkRef& sink, const std::vector<int16_t>& pcm, int channels) {
    std::vector<int32_t> block(size_t(LSOUND_BLOCK_FRAMES) * channels);
    size_t frames = pcm.size() / channels;
    for (size_t f = 0; f < frames; f += LSOUND_BLOCK_FRAMES) {
        size_t n = std::min<size_t>(LSOUND_BLOCK_FRAMES, frames - f);
        for (size_t i = 0; i < n * channels; ++i) block[i] = LSampleFrom16(pcm[f * channels + i]);
        ASSERT_EQ(sink->Write(block.data(), int32_t(n)), 1);
    }
}

class RealCodecs : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testutil::ScratchDir();
        setenv("TAMBER_HOME", dir.c_str(), 1);  // a fresh store: components come from PATH
        pcm = testutil::Sine(44100, 2, 44100, 440.0, 12000.0);
        for (size_t i = 1; i < pcm.size(); i += 2) pcm[i] = int16_t(pcm[i] / 2);
    }
    std::string dir;
    std::vector<int16_t> pcm;
};

}  // namespace

TEST_F(RealCodecs, Mp3ThroughLame) {
    ASSERT_TRUE(testutil::HaveTool("lame") && testutil::HaveTool("mpg123"));
    std::string out = dir + "/a song.mp3";
    LMP3EncodeSettings s;
    LSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), s, 2, 44100);
    ASSERT_TRUE(sink);
    ASSERT_FALSE(sink->IsUnusable());
    Feed(sink, pcm, 2);
    sink.reset();
    char path[LMAX_PATH];
    RegistryReadString(LRegistryRoot::LocalMachine, "Software\\Velmora\\Components\\mp3el", "Path",
                       path, "");
    EXPECT_NE(std::string(path).find("/lame"), std::string::npos);  // recorded
    ASSERT_EQ(testutil::Run("mpg123 -q -w \"" + dir + "/back.wav\" \"" + out + "\""), 0);
    testutil::Wav16 back = testutil::ReadWav16(dir + "/back.wav");
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.rate, 44100);
    EXPECT_NEAR(double(back.samples.size()), double(pcm.size()), 2 * 2400.0);
    EXPECT_GT(BestSnr(pcm, back.samples, 2, 1200), 20.0);

    // 16 kbit/s: down to 22050 Hz mono.
    s.cbrBitRate = 16;
    sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), s, 2, 44100);
    ASSERT_TRUE(sink);
    EXPECT_EQ(sink->GetSampleRate(), 22050);
    EXPECT_EQ(sink->GetChannels(), 1);
    std::vector<int16_t> mono = testutil::Sine(22050, 1, 22050, 440.0, 12000.0);
    Feed(sink, mono, 1);
    sink.reset();
    ASSERT_EQ(testutil::Run("mpg123 -q -w \"" + dir + "/back2.wav\" \"" + out + "\""), 0);
    back = testutil::ReadWav16(dir + "/back2.wav");
    // lame picks its own output rate for 16 kbit/s; what it heard is still one second of 440 Hz.
    EXPECT_EQ(back.channels, 1);
    ASSERT_GT(back.rate, 0);
    double seconds = double(back.samples.size()) / back.rate;
    EXPECT_NEAR(seconds, 1.0, 0.1);
    int crossings = 0;
    for (size_t i = 1; i < back.samples.size(); ++i)
        crossings += (back.samples[i - 1] < 0) != (back.samples[i] < 0);
    EXPECT_NEAR(crossings / seconds, 880.0, 40.0);
}

TEST_F(RealCodecs, OggThroughOggencAndBack) {
    ASSERT_TRUE(testutil::HaveTool("oggenc") && testutil::HaveTool("oggdec"));
    std::string out = dir + "/a song.ogg";
    LOggEncodeSettings s;
    s.channels = 2;
    LSinkRef sink = LOggEncodePipe::OpenOggSink(out.c_str(), s, 2, 44100);
    ASSERT_TRUE(sink && !sink->IsUnusable());
    Feed(sink, pcm, 2);
    sink.reset();
    // Decoded by our own decoder process through oggdec.
    testutil::FakeProgress dlg;
    LOggDecode rec;
    std::snprintf(rec.szOggInFilePath, LMAX_PATH, "%s", out.c_str());
    std::snprintf(rec.szWavOutFilePath, LMAX_PATH, "%s/Temp1.wav", dir.c_str());
    ASSERT_EQ(Process(&dlg, &rec), LPROCESS_OK);
    testutil::Wav16 back = testutil::ReadWav16(rec.szWavOutFilePath);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.samples.size(), pcm.size());
    EXPECT_GT(BestSnr(pcm, back.samples, 2, 0), 20.0);
}

TEST_F(RealCodecs, FlacIsExactBothWays) {
    ASSERT_TRUE(testutil::HaveTool("flac"));
    // A name with quotes and a backslash must reach both programs whole.
    std::string out = dir + "/a \"song\\\".flac";
    LFlacEncodeSettings s;
    s.channels = 2;
    s.sampleRate = 44100;
    LSinkRef sink = LFlacEncodePipe::OpenFlacSink(out.c_str(), s);
    ASSERT_TRUE(sink && !sink->IsUnusable());
    Feed(sink, pcm, 2);
    sink.reset();
    ASSERT_TRUE(std::filesystem::exists(out)) << "the encoder must write the named file";
    testutil::FakeProgress dlg;
    LFLACDecode rec;
    std::snprintf(rec.szFLACInFilePath, LMAX_PATH, "%s", out.c_str());
    std::snprintf(rec.szWavOutFilePath, LMAX_PATH, "%s/Temp1.wav", dir.c_str());
    ASSERT_EQ(Process(&dlg, &rec), LPROCESS_OK);
    testutil::Wav16 back = testutil::ReadWav16(rec.szWavOutFilePath);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.rate, 44100);
    EXPECT_EQ(back.samples, pcm);
}

TEST_F(RealCodecs, EncodedInputsOpenThroughTheirDecodersIntoTemporarySlots) {
    ASSERT_TRUE(testutil::HaveTool("flac") && testutil::HaveTool("oggenc") &&
                testutil::HaveTool("ffmpeg"));
    char temp[LMAX_PATH];
    LFile::GetTempFolder(temp);
    std::string wav = dir + "/in.wav";
    ASSERT_TRUE(testutil::WriteWav16(wav, 44100, 2, pcm));
    std::string flac = dir + "/a b.FLAC", ogg = dir + "/a b.ogg", m4a = dir + "/a b.m4a";
    ASSERT_EQ(testutil::Run("flac -s -f -o \"" + flac + "\" \"" + wav + "\""), 0);
    ASSERT_EQ(testutil::Run("oggenc -Q -o \"" + ogg + "\" \"" + wav + "\""), 0);
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -i \"" + wav + "\" -c:a aac \"" + m4a + "\""), 0);
    for (const std::string& path : {flac, ogg, m4a}) {
        testutil::FakeProgress dlg;
        LSourceRef src;
        ASSERT_EQ(LGenSourceOpen(src, path.c_str(), &dlg), 0) << path;
        ASSERT_EQ(src->GetError(), LSRC_OK) << path;
        EXPECT_EQ(src->GetSampleRate(), 44100);
        EXPECT_EQ(src->GetChannels(), 2);
        std::vector<int32_t> frames(size_t(src->GetEndSample()) * 2);
        src->Read(frames.data(), src->GetEndSample());
        std::vector<int16_t> back(frames.size());
        for (size_t i = 0; i < frames.size(); ++i) back[i] = LSampleTo16(frames[i]);
        if (path == flac)
            EXPECT_EQ(back, pcm);
        else
            EXPECT_GT(BestSnr(pcm, back, 2, 2048), 15.0) << path;
        EXPECT_TRUE(testutil::ReadWav16(std::string(temp) + "/Temp1.wav").ok) << path;
    }

    // Not an Ogg file at all: the decoder ends with an error, the open fails with the
    // decoder's message, and the input is left as it was.
    std::string bad = dir + "/bad.ogg";
    std::vector<uint8_t> junk(5000, 0x5A);
    testutil::WriteFileBytes(bad, junk);
    testutil::FakeProgress dlg;
    LSourceRef src;
    EXPECT_EQ(LGenSourceOpen(src, bad.c_str(), &dlg), LPROCESS_FAILED);
    EXPECT_NE(src->GetError(), LSRC_OK);
    ASSERT_EQ(dlg.errors.size(), 1u);
    EXPECT_EQ(dlg.errors[0], "Cannot open the file \"" + bad +
                                 "\": the decoder \"oggdec\" could not complete it.");
    EXPECT_EQ(testutil::ReadFileBytes(bad), junk);
}

TEST_F(RealCodecs, OutputTableWritesMp3ThroughTheTransfer) {
    ASSERT_TRUE(testutil::HaveTool("lame") && testutil::HaveTool("mpg123"));
    std::string wav = dir + "/in.wav", mp3 = dir + "/out.MP3";
    ASSERT_TRUE(testutil::WriteWav16(wav, 44100, 2, pcm));
    LPRSourceToSink rec;
    rec.source = LWaveFile::OpenSource(wav.c_str());
    LGenSinkOpenSink(rec.sink, mp3.c_str(), 44100, 2);
    ASSERT_TRUE(rec.sink && !rec.sink->IsUnusable());
    testutil::FakeProgress dlg;
    EXPECT_EQ(Process(&dlg, &rec), LPROCESS_OK);
    rec.sink.reset();
    ASSERT_EQ(testutil::Run("mpg123 -q -w \"" + dir + "/back.wav\" \"" + mp3 + "\""), 0);
    testutil::Wav16 back = testutil::ReadWav16(dir + "/back.wav");
    EXPECT_GT(BestSnr(pcm, back.samples, 2, 1200), 20.0);
}
