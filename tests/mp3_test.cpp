// MP3 reader: decodes lame-made files and compares them with mpg123's float output, plus
// length, seeking, tags and damaged input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/mp3.h"
#include "formats/mp3_tables.h"
#include "tests/support/testutil.h"

namespace {

using testutil::Run;
using testutil::ScratchDir;

// A signal with content across the band: a few tones, noise and, if asked, sharp clicks
// that make the encoder switch to short blocks.
std::vector<int16_t> TestSignal(int32_t rate, int channels, int32_t frames, bool clicks) {
    std::vector<int16_t> s(size_t(frames) * channels);
    uint32_t seed = 12345;
    for (int32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (int32_t(seed >> 8) - (1 << 23)) / double(1 << 23);
            const double t = double(i) / rate;
            double v = 0.3 * std::sin(2 * M_PI * (440 + 110 * c) * t) +
                       0.15 * std::sin(2 * M_PI * 3150 * t) + 0.05 * noise;
            if (clicks && (i % (rate / 4)) < 40) v += ((i / 4) % 2 ? 0.4 : -0.4);
            s[size_t(i) * channels + c] = int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32000));
        }
    }
    return s;
}

std::string MakeMp3(const std::string& dir, const std::string& name, int32_t rate, int channels,
                    double seconds, const std::string& lameArgs, bool clicks = false) {
    const std::string wav = dir + "/" + name + ".wav";
    const std::string mp3 = dir + "/" + name + ".mp3";
    testutil::WriteWav16(wav, rate, channels,
                         TestSignal(rate, channels, int32_t(rate * seconds), clicks));
    const int rc = Run("lame --quiet " + lameArgs + " '" + wav + "' '" + mp3 + "'");
    EXPECT_EQ(rc, 0) << lameArgs;
    return mp3;
}

// Everything the source delivers up to its (final) length.
std::vector<int32_t> DecodeAll(LMP3Source& src) {
    std::vector<int32_t> all;
    const int nch = src.GetChannels();
    std::vector<int32_t> block(size_t(4096) * nch);
    for (int guard = 0; guard < 100000 && src.GetPosition() < src.GetEndSample(); ++guard) {
        src.Read(block.data(), 4096);
        all.insert(all.end(), block.begin(), block.end());
    }
    all.resize(size_t(src.GetEndSample()) * nch);
    return all;
}

std::vector<float> Mpg123Float(const std::string& mp3) {
    const std::string raw = mp3 + ".f32";
    EXPECT_EQ(Run("mpg123 -q --no-gapless -e f32 -s '" + mp3 + "' > '" + raw + "'"), 0);
    const std::vector<uint8_t> bytes = testutil::ReadFileBytes(raw);
    std::vector<float> f(bytes.size() / 4);
    std::memcpy(f.data(), bytes.data(), f.size() * 4);
    return f;
}

struct Accuracy {
    double rms = 0, max = 0;
};

// Differences in units of full scale, over the samples both decoders produced.
Accuracy Compare(const std::vector<int32_t>& ours, const std::vector<float>& ref) {
    Accuracy a;
    const size_t n = std::min(ours.size(), ref.size());
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = ours[i] / 524288.0 - ref[i];
        sum += d * d;
        a.max = std::max(a.max, std::fabs(d));
    }
    a.rms = n ? std::sqrt(sum / n) : 0;
    return a;
}

const double kRmsBound = std::pow(2.0, -15) / std::sqrt(12.0);
const double kMaxBound = std::pow(2.0, -14);

struct Case {
    const char* name;
    int32_t rate;
    int channels;
    const char* lame;
    bool clicks;
};

class Mp3Accuracy : public ::testing::TestWithParam<Case> {};

TEST_P(Mp3Accuracy, MatchesMpg123WithinFullAccuracyBounds) {
    const Case& c = GetParam();
    const std::string dir = ScratchDir();
    const std::string mp3 = MakeMp3(dir, c.name, c.rate, c.channels, 1.5, c.lame, c.clicks);
    LMP3Source src(mp3.c_str());
    ASSERT_EQ(src.GetError(), LSRC_OK);
    EXPECT_EQ(src.GetSampleRate(), c.rate);
    const std::vector<int32_t> ours = DecodeAll(src);
    const std::vector<float> ref = Mpg123Float(mp3);
    const Accuracy a = Compare(ours, ref);
    std::printf("[ accuracy ] %-14s %5d Hz %d ch lame %-22s frames %zu/%zu rms %.3g max %.3g\n",
                c.name, c.rate, c.channels, c.lame, ours.size() / src.GetChannels(),
                ref.size() / src.GetChannels(), a.rms, a.max);
    EXPECT_EQ(ours.size(), ref.size());
    EXPECT_LE(a.rms, kRmsBound);
    EXPECT_LE(a.max, kMaxBound);
}

const Case kCases[] = {
    {"m1_44k_joint", 44100, 2, "-b 128", false},
    {"m1_48k_stereo", 48000, 2, "-m s -b 320", false},
    {"m1_32k_mono", 32000, 1, "-m m -b 64", false},
    {"m1_44k_dual", 44100, 2, "-m d -b 192", false},
    {"m1_44k_short", 44100, 2, "-b 160", true},
    {"m1_44k_crc", 44100, 2, "-p -b 128", false},
    {"m1_44k_vbr", 44100, 2, "-V 2", true},
    {"m2_22k_joint", 22050, 2, "-b 64", false},
    {"m2_24k_stereo", 24000, 2, "-m s -b 96", true},
    {"m2_16k_mono", 16000, 1, "-b 32", true},
    {"m25_11k_joint", 11025, 2, "-b 32", false},
    {"m25_12k_mono", 12000, 1, "-b 24 -p", true},
    {"m25_8k_stereo", 8000, 2, "-m s -b 16", true},
    {"m25_8k_vbr", 8000, 1, "-V 5", true},
};
INSTANTIATE_TEST_SUITE_P(Files, Mp3Accuracy, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
