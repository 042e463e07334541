// The speech codecs: VOX against sox, GSM 06.10 and ".gsm" files against toast and untoast.

#include "formats/gsm.h"
#include "formats/gsm610.h"
#include "formats/raw.h"
#include "formats/vox.h"
#include "store/encsettings.h"
#include "tests/support/kit.h"

using namespace testutil;

namespace {

class Speech : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("sox") || !HaveTool("espeak-ng"))
            GTEST_SKIP() << "sox or espeak-ng missing (scripts/setup.sh installs them)";
        dir = ScratchDir();
        speech = Speech8k(dir);
        ASSERT_GT(speech.size(), 40000u);
    }
    std::string dir;
    std::vector<int16_t> speech;
};

TEST_F(Speech, VoxAgainstSoxAndOurRoundTrip) {
    // sox's encoder and decoder (plain OKI arithmetic, no leak) against our decoder.
    const std::string sox = "sox -D -V1 ", raw = " -t raw -r 8000 -c 1 -b 16 -e signed -L '";
    ASSERT_EQ(testutil::Run(sox + raw + dir + "/speech.raw' -t vox '" + dir + "/sox.vox'"), 0);
    ASSERT_EQ(testutil::Run(sox + "-t vox -r 8000 -c 1 '" + dir + "/sox.vox'" + raw + dir +
                            "/soxdec.raw'"),
              0);
    const auto soxDec = ReadRaw16(dir + "/soxdec.raw");
    LRawSettings settings(LRawSettings::kVoxSection);
    settings.channels = 2;  // still mono
    LSourceRef src = LRawFile::OpenSource((dir + "/sox.vox").c_str(), settings);
    ASSERT_EQ(std::tuple(src->GetError(), src->GetChannels(), src->GetPeak()),
              std::tuple(0, 1, 0x200000));
    const auto ours = ReadAll16(*src);
    ASSERT_EQ(ours.size(), soxDec.size());
    double eo = 0, es = 0;
    for (size_t i = 0; i < ours.size(); ++i)
        eo += double(ours[i]) * ours[i], es += double(soxDec[i]) * soxDec[i];
    EXPECT_GT(Correlation(ours, soxDec), 0.99);
    EXPECT_NEAR(std::sqrt(eo / es), 0.5, 0.1);

    // Our own encoder through our own decoder.
    Feed(*LRawFile::OpenSink((dir + "/ours.vox").c_str(), 8000, 1, LRAW_CODEC_VOX),
         Internal(speech));
    LSourceRef back = LRawFile::OpenSource((dir + "/ours.vox").c_str(), 8000, 1, LRAW_CODEC_VOX);
    EXPECT_GT(SnrDb(speech, ReadAll16(*back)), 15.0);
}

// Nibbles pending across writes, a lone last nibble, silence; a seek to an odd sample's nibble.
TEST(Vox, PendingNibblesAndSeeks) {
    const std::string dir = ScratchDir();
    std::vector<int32_t> in(6);
    for (int i = 0; i < 6; ++i) in[size_t(i)] = int32_t(48000 * std::sin(i * 0.9));
    auto write = [&](const char* name, const std::vector<int32_t>& samples, int32_t piece) {
        LSinkRef sink = LRawFile::OpenSink((dir + name).c_str(), 8000, 1, LRAW_CODEC_VOX);
        Feed(*sink, samples, piece);
        sink->Finish(nullptr);
        return ReadFileBytes(dir + name);
    };
    const Bytes six = write("/six.vox", in, 6);
    // A lone last sample keeps a byte of its own, in the high nibble.
    EXPECT_EQ(write("/five.vox", {in.begin(), in.begin() + 5}, 5),
              (Bytes{six[0], six[1], uint8_t(six[2] & 0xF0)}));
    EXPECT_EQ(write("/split.vox", in, 3), six);
    EXPECT_EQ(write("/zeros.vox", std::vector<int32_t>(100), 100), Bytes(50, 0x08));

    LSourceRef src = LRawFile::OpenSource((dir + "/six.vox").c_str(), 8000, 1, LRAW_CODEC_VOX);
    src->Seek(3);
    LVoxCodec fresh;
    EXPECT_EQ(ReadFrames(*src, 1)[0], fresh.Decode(six[1] & 0x0F));
}

// Lags outside 40..120 decode with the last valid lag (extreme input: the GSM fuzz target).
TEST(Gsm610, InvalidLagsDecodeWithTheLastValidLag) {
    LGSMParams p{};
    for (int i = 0; i < 8; ++i) p.LARc[i] = int16_t(5 + i);
    for (int j = 0; j < 4; ++j) {
        p.bc[j] = 3;
        p.Mc[j] = int16_t(j);
        p.xmaxc[j] = 40;
        for (int i = 0; i < 13; ++i) p.xMc[j][i] = int16_t((i * 5 + j) & 7);
    }
    LGSMParams bad = p;
    for (int j = 0; j < 4; ++j) p.Nc[j] = 40, bad.Nc[j] = int16_t(j % 2 ? 127 : 3);
    LGSMFrame a, b;
    int32_t outA[160], outB[160];
    a.Decode(p, outA);
    b.Decode(bad, outB);
    EXPECT_EQ(std::memcmp(outA, outB, sizeof outA), 0);
}

// Whole 33-byte frames (the last padded; a partial one ignored); a seek resets the decoder.
TEST(GsmFile, FramesAndSeek) {
    const std::string dir = ScratchDir();
    std::vector<int32_t> in(161);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int32_t((i * 977) % 8000) * 16 - 64000;
    Feed(*LSinkRef(new LGSMFileSink((dir + "/161.gsm").c_str())), in, 100);
    Bytes bytes = ReadFileBytes(dir + "/161.gsm");
    ASSERT_EQ(bytes.size(), 66u);
    bytes.resize(100, 0x5A);
    ASSERT_TRUE(WriteFileBytes(dir + "/100.gsm", bytes));
    LGSMFileSource src((dir + "/100.gsm").c_str());
    EXPECT_EQ(std::tuple(src.GetEndSample(), src.GetPeak()), std::tuple(480, 0xFFFE0));
    LGSMFrame fresh;
    int32_t second[160];
    fresh.DecodeNormal(bytes.data() + 33, second);
    src.Seek(200);
    EXPECT_EQ(ReadFrames(src, 10), std::vector<int32_t>(second + 40, second + 50));
}

TEST_F(Speech, GsmFileAgainstToastAndUntoast) {
    if (!HaveTool("toast") || !HaveTool("untoast")) GTEST_SKIP() << "toast or untoast missing";
    ASSERT_EQ(testutil::Run("toast -l -c '" + dir + "/speech.raw' > '" + dir + "/t.gsm'"), 0);
    ASSERT_EQ(testutil::Run("untoast -l -c '" + dir + "/t.gsm' > '" + dir + "/tu.raw'"), 0);
    LGSMFileSource src((dir + "/t.gsm").c_str());
    const auto ours = ReadAll16(src);
    const auto peer = ReadRaw16(dir + "/tu.raw");
    ASSERT_EQ(ours.size(), peer.size());
    const double vsPeer = SnrDb(peer, ours), peerSnr = SnrDb(speech, peer);
    EXPECT_GT(vsPeer, 30.0);
    EXPECT_GT(SnrDb(speech, ours), peerSnr - 1.5);

    Feed(*LSinkRef(new LGSMFileSink((dir + "/ours.gsm").c_str())), Internal(speech));
    ASSERT_EQ(testutil::Run("untoast -l -c '" + dir + "/ours.gsm' > '" + dir + "/ou.raw'"), 0);
    EXPECT_GT(SnrDb(speech, ReadRaw16(dir + "/ou.raw")), peerSnr - 1.5);
}

}  // namespace
