// Round trips through the real encoders and decoders: lame, oggenc, flac, oggdec, faad, opusenc.

#include "convert/gensink.h"
#include "convert/gensource.h"
#include "external/components.h"
#include "external/encoders.h"
#include "tests/support/kit.h"

namespace {

class RealCodecs : public ::testing::Test {
  protected:
    void SetUp() override {  // a fresh store: components come from PATH
        pcm = testutil::Sine(44100, 2, 44100, 440.0, 12000.0);
        for (size_t i = 1; i < pcm.size(); i += 2) pcm[i] = int16_t(pcm[i] / 2);
    }
    std::string dir = testutil::ScratchHome("");
    std::vector<int16_t> pcm;
};

}  // namespace

TEST_F(RealCodecs, Mp3ThroughLame) {
    ASSERT_TRUE(testutil::HaveTool("lame") && testutil::HaveTool("mpg123"));
    std::string out = dir + "/a song.mp3";
    LMP3EncodeSettings s;
    LSinkRef sink = LMP3EncodePipe::OpenMp3Sink(out.c_str(), s, 2, 44100);
    ASSERT_TRUE(sink && !sink->IsUnusable());
    testutil::Feed(*sink, testutil::Internal(pcm));
    sink.reset();
    testutil::Wav16 back = testutil::PeerDecode("mpg123", out);
    EXPECT_EQ(std::tuple(back.ok, back.channels, back.rate), std::tuple(true, 2, 44100));
    EXPECT_NEAR(double(back.samples.size()), double(pcm.size()), 2 * 2400.0);
    EXPECT_GT(testutil::SnrDbBestOffset(pcm, back.samples, 2 * 1200), 20.0);
}

// Our pipes write Ogg and FLAC (a name with quotes and a backslash reaching both whole), ffmpeg
// AAC; all open through the input table's decoders, FLAC exact.
TEST_F(RealCodecs, EncodedFilesOpenThroughTheirDecoders) {
    ASSERT_TRUE(testutil::HaveTool("flac") && testutil::HaveTool("oggenc") &&
                testutil::HaveTool("oggdec") && testutil::HaveTool("ffmpeg"));
    std::string wav = dir + "/in.wav";
    ASSERT_TRUE(testutil::WriteWav16(wav, 44100, 2, pcm));
    std::string flac = dir + "/a \"song\\\".FLAC", ogg = dir + "/a song.ogg",
                m4a = dir + "/a b.m4a";
    LOggEncodeSettings oggSettings;
    oggSettings.channels = 2;
    LFlacEncodeSettings flacSettings;
    flacSettings.channels = 2;
    flacSettings.sampleRate = 44100;
    for (LSinkRef sink : {LOggEncodePipe::OpenOggSink(ogg.c_str(), oggSettings, 2, 44100),
                          LFlacEncodePipe::OpenFlacSink(flac.c_str(), flacSettings)}) {
        ASSERT_TRUE(sink && !sink->IsUnusable());
        testutil::Feed(*sink, testutil::Internal(pcm));
    }
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -i \"" + wav + "\" -c:a aac \"" + m4a + "\""), 0);
    for (const std::string& path : {flac, ogg, m4a}) {
        testutil::FakeProgress dlg;
        LSourceRef src;
        ASSERT_EQ(LGenSourceOpen(src, path.c_str(), &dlg), 0) << path;
        EXPECT_EQ(std::tuple(src->GetError(), src->GetSampleRate(), src->GetChannels()),
                  std::tuple(LSRC_OK, 44100, 2));
        const std::vector<int16_t> back = testutil::ReadAll16(*src);
        if (path == flac)
            EXPECT_EQ(back, pcm);
        else if (path == ogg)
            EXPECT_GT(testutil::SnrDb(pcm, back), 20.0);
        else
            EXPECT_GT(testutil::SnrDbBestOffset(pcm, back, 2 * 2048), 15.0) << path;
    }
}

// The ".opus" output row with the stored settings: a speech note at 8000 Hz mono tuned for
// speech, music at 48000 Hz stereo; opusinfo accepts both and opusdec's decode follows the input.
TEST_F(RealCodecs, OpusOutputThroughOpusenc) {
    ASSERT_TRUE(testutil::HaveTool("opusenc") && testutil::HaveTool("opusdec") &&
                testutil::HaveTool("opusinfo"));
    const std::vector<int16_t> speech = testutil::Speech8k(dir);
    ASSERT_FALSE(speech.empty());
    const struct {
        const char* name;
        std::vector<int16_t> pcm;
        int32_t rate;
        int channels;
        LOpusEncodeSettings settings;
    } cases[] = {{"note.opus", speech, 8000, 1, {64, 1}},
                 {"a \"song\".opus", testutil::ToneMix(48000, 2, 96000), 48000, 2, {}}};
    for (const auto& c : cases) {
        c.settings.Store();
        const std::string out = dir + "/" + c.name;
        LSinkRef sink;
        LGenSinkOpenSink(sink, out.c_str(), c.rate, c.channels);
        ASSERT_TRUE(sink && !sink->IsUnusable()) << c.name;
        EXPECT_EQ(std::tuple(sink->GetSampleRate(), sink->GetChannels()),
                  std::tuple(c.rate, c.channels));
        testutil::Feed(*sink, testutil::Internal(c.pcm));
        sink.reset();
        const std::string q = "'" + out + "'";
        EXPECT_EQ(testutil::Run("opusinfo " + q + " >/dev/null"), 0) << c.name;
        const std::string wav = dir + "/back.wav";
        ASSERT_EQ(testutil::Run("opusdec --quiet --no-dither --rate " + std::to_string(c.rate) +
                                " " + q + " '" + wav + "'"),
                  0);
        const testutil::Wav16 back = testutil::ReadWav16(wav);
        EXPECT_EQ(back.channels, c.channels);
        EXPECT_NEAR(double(back.samples.size()), double(c.pcm.size()), 0.01 * c.pcm.size());
        EXPECT_GE(testutil::Correlation(c.pcm, back.samples), 0.98) << c.name;
    }
}
