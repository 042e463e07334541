// Dialogic VOX ADPCM: sox-made files, our round trip, pending nibbles and codec edges.
#include "formats/vox.h"

#include <gtest/gtest.h>

#include <cmath>

#include "store/encsettings.h"
#include "formats/raw.h"
#include "tests/support/signal.h"
#include "tests/support/sourceutil.h"
#include "tests/support/testutil.h"

using namespace testutil;

namespace {

std::vector<int32_t> Internal(const std::vector<int16_t>& v) {
    std::vector<int32_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) out[i] = v[i] * 16;
    return out;
}

void WriteVox(const std::string& path, const std::vector<int16_t>& pcm) {
    LSinkRef sink = LRawFile::OpenSink(path.c_str(), 8000, 1, LRAW_CODEC_VOX);
    ASSERT_FALSE(sink->IsUnusable());
    const auto in = Internal(pcm);
    for (size_t off = 0; off < in.size(); off += 8192)
        sink->Write(in.data() + off, int32_t(std::min<size_t>(8192, in.size() - off)));
}

TEST(Vox, SoxFileAndOurRoundTrip) {
    if (!HaveTool("sox") || !HaveTool("espeak-ng")) GTEST_SKIP() << "sox or espeak-ng missing";
    const std::string dir = ScratchDir();
    const auto speech = Speech8k(dir);
    ASSERT_GT(speech.size(), 40000u);

    // sox's encoder and decoder (plain OKI arithmetic, no leak) against our decoder.
    ASSERT_EQ(testutil::Run("sox -D -V1 -t raw -r 8000 -c 1 -b 16 -e signed -L '" + dir +
                            "/speech.raw' -t vox '" + dir + "/sox.vox'"),
              0);
    ASSERT_EQ(testutil::Run("sox -D -V1 -t vox -r 8000 -c 1 '" + dir +
                            "/sox.vox' -t raw -b 16 -e "
                            "signed -L '" +
                            dir + "/soxdec.raw'"),
              0);
    const auto soxDec = ReadRaw16(dir + "/soxdec.raw");
    LRawSettings settings(LRawSettings::kVoxSection);
    settings.channels = 2;  // still mono
    LSourceRef src = LRawFile::OpenSource((dir + "/sox.vox").c_str(), settings);
    ASSERT_EQ(src->GetError(), 0);
    EXPECT_EQ(src->GetChannels(), 1);
    EXPECT_EQ(src->GetPeak(), 0x200000);
    EXPECT_EQ(src->GetEndSample(), int32_t(ReadFileBytes(dir + "/sox.vox").size() * 2));
    const auto ours = ReadAll16(*src);
    ASSERT_EQ(ours.size(), soxDec.size());
    double eo = 0, es = 0;
    for (size_t i = 0; i < ours.size(); ++i)
        eo += double(ours[i]) * ours[i], es += double(soxDec[i]) * soxDec[i];
    const double corr = Correlation(ours, soxDec), level = std::sqrt(eo / es);
    std::printf("sox-made VOX: correlation with sox's decode %.4f, level ratio %.3f\n", corr,
                level);
    EXPECT_GT(corr, 0.99);
    EXPECT_NEAR(level, 0.5, 0.1);

    // Our own encoder through our own decoder.
    WriteVox(dir + "/ours.vox", speech);
    LSourceRef back = LRawFile::OpenSource((dir + "/ours.vox").c_str(), 8000, 1, LRAW_CODEC_VOX);
    const auto rt = ReadAll16(*back);
    const double snr = SnrDb(speech, rt);
    std::printf("VOX round trip of speech: %.2f dB SNR\n", snr);
    EXPECT_GT(snr, 15.0);
}

TEST(Vox, PendingNibblesAndEdges) {
    const std::string dir = ScratchDir();
    std::vector<int16_t> pcm(6);
    for (int i = 0; i < 6; ++i) pcm[size_t(i)] = int16_t(3000 * std::sin(i * 0.9));
    const auto in = Internal(pcm);
    {
        LSinkRef whole = LRawFile::OpenSink((dir + "/six.vox").c_str(), 8000, 1, 0);
        whole->Write(in.data(), 6);
        LSinkRef split = LRawFile::OpenSink((dir + "/split.vox").c_str(), 8000, 1, 0);
        split->Write(in.data(), 3);
        split->Write(in.data() + 3, 3);
        LSinkRef five = LRawFile::OpenSink((dir + "/five.vox").c_str(), 8000, 1, 0);
        five->Write(in.data(), 5);
        LSinkRef zeros = LRawFile::OpenSink((dir + "/zeros.vox").c_str(), 8000, 1, 0);
        const std::vector<int32_t> silence(100, 0);
        zeros->Write(silence.data(), 100);
    }
    EXPECT_EQ(ReadFileBytes(dir + "/six.vox").size(), 3u);
    EXPECT_EQ(ReadFileBytes(dir + "/split.vox"), ReadFileBytes(dir + "/six.vox"));
    EXPECT_EQ(ReadFileBytes(dir + "/five.vox").size(), 2u);
    EXPECT_EQ(ReadFileBytes(dir + "/zeros.vox"), std::vector<uint8_t>(50, 0x08));

    LSourceRef a = LRawFile::OpenSource((dir + "/six.vox").c_str(), 8000, 1, 0);
    LSourceRef b = LRawFile::OpenSource((dir + "/six.vox").c_str(), 8000, 1, 0);
    auto once = ReadFrames(*a, 6);
    auto first = ReadFrames(*b, 3), second = ReadFrames(*b, 3);
    first.insert(first.end(), second.begin(), second.end());
    EXPECT_EQ(first, once);
    EXPECT_EQ(b->GetPosition(), 6);
    // Past the end: silence, the position keeps going.
    EXPECT_EQ(ReadFrames(*b, 5), std::vector<int32_t>(5, 0));
    EXPECT_EQ(b->GetPosition(), 11);

    // Before the start (a resampler priming its filter): silence first.
    LSourceRef c = LRawFile::OpenSource((dir + "/six.vox").c_str(), 8000, 1, 0);
    c->Seek(-4);
    auto primed = ReadFrames(*c, 10);
    EXPECT_EQ(std::vector<int32_t>(primed.begin(), primed.begin() + 4), std::vector<int32_t>(4, 0));
    EXPECT_EQ(std::vector<int32_t>(primed.begin() + 4, primed.end()), once);

    ASSERT_TRUE(WriteFileBytes(dir + "/k.vox", std::vector<uint8_t>(1000, 0x77)));
    EXPECT_EQ(LRawFile::OpenSource((dir + "/k.vox").c_str(), 8000, 1, 0)->GetEndSample(), 2000);
    LSourceRef missing = LRawFile::OpenSource((dir + "/none.vox").c_str(), 8000, 1, 0);
    EXPECT_EQ(missing->GetError(), 4);
    EXPECT_EQ(missing->GetEndSample(), 0);
    LSinkRef bad = LRawFile::OpenSink((dir + "/no/dir.vox").c_str(), 8000, 1, 0);
    EXPECT_TRUE(bad->IsUnusable());

    // Saturated codes drive the step index to its ends without overflow.
    LVoxCodec codec;
    for (int i = 0; i < 100000; ++i) codec.Decode(uint8_t(i % 200 < 100 ? 7 : 15));
    for (int i = 0; i < 1000; ++i) codec.Encode(i % 2 ? INT32_MAX : INT32_MIN);
}

}  // namespace
