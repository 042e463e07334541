// MP3 reader against lame-made files and mpg123's float output; length, seeking, tags, bad input.
#include "formats/mp3.h"

#include "tests/support/concat.h"
#include "tests/support/iso_layer3.h"
#include "tests/support/kit.h"

namespace {

using namespace testutil;

// Tones and noise made by lame; shape 1 adds clicks (short blocks), 2 is a full-scale square.
std::string MakeMp3(const std::string& dir, const std::string& name, int32_t rate, int channels,
                    double seconds, const std::string& lameArgs, int shape = 0) {
    const std::string wav = dir + "/" + name + ".wav", mp3 = dir + "/" + name + ".mp3";
    std::vector<int16_t> s = ToneMix(rate, channels, int32_t(rate * seconds));
    for (size_t i = 0; i < s.size(); ++i)
        if (shape == 2)
            s[i] = (i / 50) % 2 ? 32767 : -32767;
        else if (shape == 1 && i / channels % size_t(rate / 4) < 40)
            s[i] += int16_t(i / channels / 4 % 2 ? 12800 : -12800);
    WriteWav16(wav, rate, channels, s);
    EXPECT_EQ(Run("lame --quiet --resample " + std::to_string(rate / 1000.0) + " " + lameArgs +
                  " '" + wav + "' '" + mp3 + "'"),
              0)
        << lameArgs;
    return mp3;
}

// Everything the source delivers up to its (final) length.
std::vector<int32_t> DecodeAll(LMP3Source& src) {
    std::vector<int32_t> all = ReadToEnd(&src);
    all.resize(size_t(src.GetEndSample()) * src.GetChannels());
    return all;
}

struct Case {
    const char* name;
    int32_t rate;
    int channels;
    const char* lame;
    int shape;                              // of MakeMp3
    bool intensity = false, mixed = false;  // re-flagged by Reflag
};

// Sets mixed_block_flag in short-block granules or the intensity bit of joint-stereo headers (lame
// writes neither); returns how many. MPEG-1 only: MPEG-2 intensity has no agreed decoding.
int Reflag(const std::string& path, bool mixed) {
    int flagged = 0;
    std::vector<uint8_t> b = ReadFileBytes(path);
    auto bit = [&](size_t pos) { return (b[pos >> 3] >> (7 - (pos & 7))) & 1; };
    for (size_t at = 0; at + 4 <= b.size();) {
        MP3Header h;
        if (!h.Parse(&b[at])) {
            ++at;
            continue;
        }
        const bool mpeg1 = h.version == 0;
        const int nch = h.Channels();
        size_t pos = (at + 4 + (h.crc ? 2 : 0)) * 8;
        pos += mpeg1 ? 9 + (nch == 1 ? 5 : 3) + 4 * nch : 8 + (nch == 1 ? 1 : 2);
        if (!mixed && h.mode == 1) b[at + 3] |= 0x10, ++flagged;
        for (int gr = 0; mixed && gr < h.Granules(); ++gr) {
            for (int ch = 0; ch < nch; ++ch) {
                pos += 12 + 9 + 8 + (mpeg1 ? 4 : 9);
                if (bit(pos++)) {
                    if (bit(pos) * 2 + bit(pos + 1) == 2) {
                        b[(pos + 2) >> 3] |= uint8_t(0x80 >> ((pos + 2) & 7));
                        ++flagged;
                    }
                    pos += 2 + 1 + 10 + 9;
                } else {
                    pos += 15 + 4 + 3;
                }
                pos += mpeg1 ? 3 : 2;
            }
        }
        at += size_t(h.PayloadBytes()) + 4 + (h.crc ? 2 : 0);
    }
    WriteFileBytes(path, b);
    return flagged;
}

class Mp3Accuracy : public ::testing::TestWithParam<Case> {};

TEST_P(Mp3Accuracy, MatchesMpg123WithinFullAccuracyBounds) {
    const Case& c = GetParam();
    const std::string dir = ScratchDir();
    const std::string mp3 = MakeMp3(dir, c.name, c.rate, c.channels, 1.5, c.lame, c.shape);
    EXPECT_TRUE(!(c.intensity || c.mixed) || Reflag(mp3, c.mixed) > (c.mixed ? 3 : 10));
    const std::vector<float> ref = Mpg123Float(mp3);
    SCOPED_TRACE(c.lame);
    // Every vector width the machine has: they differ by float rounding (fused multiply-add).
    std::vector<int32_t> widest;
    for (int lanes : {16, 8, 4}) {
        MP3Layer3::maxVectorLanes = lanes;
        if (MP3Layer3::VectorLanes() != lanes) continue;
        SCOPED_TRACE(::testing::Message() << lanes << " lanes");
        LMP3Source src(mp3.c_str());
        ASSERT_EQ(src.GetError(), LSRC_OK);
        EXPECT_EQ(std::tuple(src.GetSampleRate(), src.GetPeak()), std::tuple(c.rate, 1 << 21));
        const std::vector<int32_t> ours = DecodeAll(src);
        ASSERT_EQ(ours.size(), ref.size());
        if (widest.empty()) widest = ours;
        double sum = 0, max = 0;  // in units of full scale
        int32_t worst = 0;        // against the widest vectors
        for (size_t i = 0; i < ours.size(); ++i) {
            const double d = ours[i] / 524288.0 - ref[i];
            sum += d * d;
            max = std::max(max, std::fabs(d));
            worst = std::max(worst, std::abs(ours[i] - widest[i]));
        }
        // Full accuracy: RMS at most 2^-15 / sqrt(12), no sample off by more than 2^-14.
        EXPECT_LE(std::sqrt(sum / double(ref.size())), std::pow(2.0, -15) / std::sqrt(12.0));
        EXPECT_LE(max, std::pow(2.0, -14));
        EXPECT_LE(worst, 4);
    }
    MP3Layer3::maxVectorLanes = 16;
}

const Case kCases[] = {
    {"m1_44k_square", 44100, 1, "-m m -b 320", 2},  // full scale: overshoot beyond 16 bits
    {"m1_44k_short", 44100, 2, "-b 160", true},
    {"m1_44k_crc", 44100, 2, "-p -b 128", false},  // the tag frame too carries a CRC
    {"m2_24k_stereo", 24000, 2, "-m s -b 96", true},
    {"m2_16k_mono", 16000, 1, "-b 32", true},
    {"m25_11k_joint", 11025, 2, "-b 32", false},
    {"m25_12k_mono", 12000, 1, "-b 24 -p", true},
    {"m25_8k_stereo", 8000, 2, "-m s -b 16", true},
    {"m1_44k_is", 44100, 2, "-m j -b 96", true, true},
    {"m1_48k_is", 48000, 2, "-m f -b 64", false, true},
    {"m1_44k_mixed", 44100, 2, "-b 160", true, false, true},
    {"m2_22k_mixed", 22050, 2, "-b 64", true, false, true},
};
INSTANTIATE_TEST_SUITE_P(Files, Mp3Accuracy, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The standard's compliance streams: PSNR above 96 dB, at most 1 LSB at 16 bits, all decoded.
TEST(Mp3Compliance, IsoStreamsMatchTheirReferenceAtFullAccuracy) {
    for (int lanes : {16, 8, 4}) {
        MP3Layer3::maxVectorLanes = lanes;
        if (MP3Layer3::VectorLanes() != lanes) continue;
        SCOPED_TRACE(::testing::Message() << lanes << " lanes");
        ExpectIsoStreamsAtFullAccuracy();
    }
    MP3Layer3::maxVectorLanes = 16;
}

std::vector<int32_t> DecodeFile(const std::string& path) {
    LMP3Source src(path.c_str());
    EXPECT_EQ(src.GetError(), LSRC_OK) << path;
    return DecodeAll(src);
}

// No tag (lame -t): the estimate is corrected to the real end; past it come zeros.
TEST(Mp3Length, EstimateIsCorrectedAtTheEnd) {
    const std::string cbr = MakeMp3(ScratchDir(), "cbr", 22050, 1, 1.0, "-t -b 32");
    LMP3Source src(cbr.c_str());
    ASSERT_EQ(std::tuple(src.GetError(), src.TagFrames(), src.SamplesPerFrame()),
              std::tuple(LSRC_OK, 0, 576));
    const int32_t estimate = src.GetEndSample();
    const std::vector<float> ref = Mpg123Float(cbr);
    std::vector<int32_t> block(8192);
    for (int32_t read = 0; read < estimate + 20000; read += 8192) src.Read(block.data(), 8192);
    EXPECT_EQ(src.GetEndSample(), int32_t(ref.size()));
    EXPECT_NEAR(estimate, src.GetEndSample(), 2 * 576);
    EXPECT_EQ(ReadFrames(src, 100), std::vector<int32_t>(100));
}

TEST(Mp3Seek, PrerollMakesSeekExactWhereTheByteEstimateIsAndCleanElsewhere) {
    const std::string dir = ScratchDir();
    // 48 kHz, 128 kbit/s: every frame is 384 bytes, so the byte estimate is exact.
    const std::string cbr = MakeMp3(dir, "cbr48", 48000, 2, 1.0, "-b 128", true);
    const std::vector<int32_t> straight = DecodeFile(cbr);
    LMP3Source exact(cbr.c_str());
    const int32_t target = 10 * 1152 + 5;
    exact.Seek(target);
    EXPECT_EQ(exact.GetPosition(), target);
    const std::vector<int32_t> head = ReadFrames(exact, 3000);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), straight.begin() + target * 2));
    // VBR: its Xing frame count is the exact length, before and after reading.
    const std::string vbr = MakeMp3(dir, "vbr", 44100, 2, 2.0, "-V 2", true);
    const std::vector<int32_t> whole = DecodeFile(vbr);
    LMP3Source src(vbr.c_str());
    EXPECT_EQ(std::tuple(src.GetEndSample(), whole.size()),
              std::tuple(src.TagFrames() * 1152, size_t(src.TagFrames()) * 1152 * 2));
    // Without the Xing flag the tag frame decodes as silence.
    std::vector<uint8_t> v = ReadFileBytes(vbr);
    ASSERT_EQ(std::memcmp(&v[36], "Xing", 4), 0);
    v[43] &= 0xFE;  // flags are big-endian: bit 0 is in the fourth byte
    LMP3Source noflag(v.data(), int64_t(v.size()));
    EXPECT_EQ(noflag.TagFrames(), 0);
    EXPECT_EQ(DecodeAll(noflag), Concat<int32_t>({std::vector<int32_t>(1152 * 2), whole}));
    // A seek's estimate may land on another frame, but decodes it as the straight decode does.
    for (int32_t t : {30 * 1152 + 700, 55 * 1152}) {
        src.Seek(t);
        const std::vector<int32_t> got = ReadFrames(src, 1152);
        bool found = false;
        for (size_t f = 0; !found && (f + 2) * 1152 * 2 <= whole.size(); ++f)
            found = std::equal(got.begin(), got.end(), whole.begin() + (f * 1152 + t % 1152) * 2);
        EXPECT_TRUE(found) << t;
    }
}

// A VBRI frame with the given frame count, made from the first header of a 128 kbit/s stream.
std::vector<uint8_t> Vbri(const std::vector<uint8_t>& stream, uint32_t frames) {
    std::vector<uint8_t> vbri(stream.begin(), stream.begin() + 417);
    std::fill(vbri.begin() + 4, vbri.end(), 0);
    vbri[2] &= 0xFD;  // no padding: 417 bytes
    std::memcpy(vbri.data() + 36, "VBRI", 4);
    for (int i = 0; i < 4; ++i) vbri[36 + 14 + i] = uint8_t(frames >> (24 - 8 * i));
    return vbri;
}

// Tags, junk, VBRI and foreign frames leave the audio unchanged; bad input fails cleanly.
TEST(Mp3Stream, OddStreamsKeepTheAudioAndBadOnesFailCleanly) {
    const std::string dir = ScratchDir();
    const std::string plain = MakeMp3(dir, "plain", 44100, 2, 1.0, "-t -b 128");
    const std::vector<uint8_t> bytes = ReadFileBytes(plain);
    const std::vector<int32_t> ref = DecodeFile(plain);
    auto decodeBytes = [&](const std::vector<uint8_t>& b) {
        WriteFileBytes(dir + "/x.mp3", b);
        return DecodeFile(dir + "/x.mp3");
    };
    // Junk (with frame headers that no frame follows) before the first frame, ID3v1 after.
    std::vector<uint8_t> junk(3000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 7 & 0x7F);
    for (size_t i = 100; i + 4 < junk.size(); i += 500)
        std::memcpy(&junk[i], "\xFF\xFB\x50\xC4", 4);
    std::vector<uint8_t> id3v1(128, ' ');
    std::memcpy(id3v1.data(), "TAG", 3);
    EXPECT_EQ(decodeBytes(Concat({junk, bytes, id3v1})), ref);
    // An ID3v2 tag larger than the sync search, full of sync-like bytes (a picture).
    std::vector<uint8_t> id3v2(10 + 100000, 0xFF);
    const uint8_t head[10] = {'I', 'D', '3', 3, 0, 0, 0, 6, 13, 32};  // 100000, syncsafe
    std::memcpy(id3v2.data(), head, 10);
    EXPECT_EQ(decodeBytes(Concat({id3v2, bytes})), ref);
    // A tag header that claims more than there is: the search starts over from the front.
    std::vector<uint8_t> liar = Concat({std::vector<uint8_t>(head, head + 10), bytes});
    const uint32_t claim = uint32_t(liar.size() - 30);
    for (int i = 0; i < 4; ++i) liar[6 + i] = uint8_t((claim >> (21 - 7 * i)) & 0x7F);
    EXPECT_EQ(decodeBytes(liar), ref);
    // A hand-made VBRI frame in front: its count gives the length, it is not decoded.
    WriteFileBytes(dir + "/vbri.mp3", Concat({Vbri(bytes, 38), bytes}));
    LMP3Source vbri((dir + "/vbri.mp3").c_str());
    EXPECT_EQ(std::tuple(vbri.TagFrames(), vbri.GetEndSample()), std::tuple(38, 38 * 1152));
    const std::vector<int32_t> all = DecodeAll(vbri);
    EXPECT_TRUE(std::equal(all.begin(), all.end(), ref.begin()));
    // A 48 kHz frame in the middle of a 44.1 kHz stream is skipped.
    const std::vector<uint8_t> o = ReadFileBytes(MakeMp3(dir, "other", 48000, 2, 0.2, "-t -b 128"));
    size_t cut = 0;  // the start of the 10th frame
    for (int f = 0; f < 10; ++f) cut += 144 * 128000 / 44100 + ((bytes[cut + 2] >> 1) & 1);
    const std::vector<int32_t> m = decodeBytes(Concat({{bytes.begin(), bytes.begin() + cut},
                                                       {o.begin(), o.begin() + 384},
                                                       {bytes.begin() + cut, bytes.end()}}));
    EXPECT_TRUE(std::equal(ref.begin(), ref.end(), m.begin()));

    // An empty file; nothing but sync bytes (no acceptable header anywhere).
    WriteFileBytes(dir + "/empty.mp3", {});
    EXPECT_EQ(LMP3Source((dir + "/empty.mp3").c_str()).GetError(), LSRC_ERR_INVALID);
    const std::vector<uint8_t> sync(200000, 0xFF);
    EXPECT_EQ(LMP3Source(sync.data(), int64_t(sync.size())).GetError(), LSRC_ERR_INVALID);

    // A lone free-format frame: without a second header its size is unknown.
    const std::vector<uint8_t> free = ReadFileBytes(IsoDir() + "l3-he_free.bit");
    ASSERT_GT(free.size(), 391u);
    EXPECT_EQ(LMP3Source(free.data(), 391).GetError(), LSRC_ERR_INVALID);
    EXPECT_EQ(LMP3Source(free.data(), 391 + 392 + 4).GetError(), LSRC_OK);

    // A VBRI tag that claims 2^31 samples: reading at its end leaves the position there.
    const std::vector<uint8_t> hugeBytes = Concat({Vbri(bytes, (1u << 31) / 1152 + 1), bytes});
    LMP3Source huge(hugeBytes.data(), int64_t(hugeBytes.size()));
    ASSERT_EQ(huge.GetEndSample(), INT32_MAX);
    huge.Seek(INT32_MAX);
    std::vector<int32_t> block(2 * 1000, 1);
    huge.Read(block.data(), 1000);
    EXPECT_EQ(std::tuple(huge.GetPosition(), block[0]), std::tuple(INT32_MAX, 0));
    // Side information all ones (every field at its extreme), then all zero (silence).
    for (uint8_t fill : {0xFF, 0x00}) {
        std::vector<uint8_t> bad = bytes;
        for (size_t at = 0; at + 4 + 32 < bad.size();) {
            MP3Header h;
            if (!h.Parse(&bad[at])) break;
            const size_t size = size_t(h.PayloadBytes()) + 4;
            std::fill(bad.begin() + at + 4, bad.begin() + at + 4 + 32, fill);
            at += size;
        }
        LMP3Source src(bad.data(), int64_t(bad.size()));
        ASSERT_EQ(src.GetError(), LSRC_OK);
        const std::vector<int32_t> out = DecodeAll(src);
        EXPECT_TRUE(fill != 0 || out == std::vector<int32_t>(out.size(), 0));
    }
}

}  // namespace
