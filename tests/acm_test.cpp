// Compressed WAV through the codec layer against sox and ffmpeg, edges and bad input.
#include "formats/acm.h"

#include "formats/wav.h"
#include "tests/support/acm_records.h"
#include "tests/support/kit.h"

using namespace testutil;

namespace {

struct PeerEncoding {
    const char* label;
    bool bySox;        // made by sox, else by ffmpeg
    const char* args;  // encoder arguments
    double minSnr;     // 0: our decode equals ffmpeg's (IMA ADPCM: sox's) sample for sample
    int32_t only;      // 0: every rate; else this rate (8000: mono too)
};

const PeerEncoding kPeerEncodings[] = {
    {"IMA ADPCM", true, "-e ima-adpcm", 0, 0},
    {"GSM 6.10", true, "-e gsm-full-rate", 20, 8000},
    {"PCM 24 (extensible)", true, "-b 24", 0, 44100},
    {"A-law", false, "-c:a pcm_alaw", 0, 0},
    {"u-law", false, "-c:a pcm_mulaw", 0, 0},
    {"MS ADPCM", false, "-c:a adpcm_ms", 0, 0},
    {"float 64", false, "-c:a pcm_f64le", 0, 44100},
    {"MP3", false, "-c:a libmp3lame -b:a 96k", 60, 0},  // and of the same length
};

}  // namespace

// Each encoding at 8000, 22050 and 44100 Hz, mono and stereo: a peer's file decodes like the peer
// decodes it (GSM, MP3: within an SNR); ours read back in ffmpeg and sox.
TEST(AcmPeers, PeerFilesDecodeLikeThePeerAndOutputsReadBack) {
    if (!HaveTool("sox") || !HaveTool("ffmpeg"))
        GTEST_SKIP() << "sox or ffmpeg missing (scripts/setup.sh installs them)";
    const std::string dir = ScratchDir(), src = dir + "/src.wav", file = dir + "/x.wav";
    for (int32_t rate : {8000, 22050, 44100})
        for (int ch : {1, 2}) {
            const std::vector<int16_t> signal = ToneMix(rate, ch, rate * 3 / 10);
            ASSERT_TRUE(WriteWav16(src, rate, ch, signal));
            for (const PeerEncoding& e : kPeerEncodings) {
                if (e.only && (e.only != rate || (rate == 8000 && ch != 1))) continue;
                SCOPED_TRACE(testing::Message() << e.label << " " << rate << " Hz " << ch << " ch");
                std::remove(file.c_str());
                ASSERT_EQ(testutil::Run(e.bySox ? "sox '" + src + "' " + e.args + " '" + file + "'"
                                                : "ffmpeg -nostdin -loglevel error -y -i '" + src +
                                                      "' " + e.args + " '" + file + "'"),
                          0);
                const std::vector<int16_t> ref =
                    std::strcmp(e.label, "IMA ADPCM") ? FfmpegDecode(file) : SoxDecode(file);
                uint8_t err = 0;
                int channels = 0;
                std::vector<int16_t> ours = DecodeWithReader(file, &err, &channels);
                ASSERT_EQ(std::tuple(int(err), channels), std::tuple(0, ch));
                if (e.minSnr == 0) {
                    EXPECT_EQ(ours, ref);
                } else {
                    EXPECT_GT(SnrDb(ref, ours), e.minSnr);
                    EXPECT_TRUE(e.minSnr < 60 || ours.size() == ref.size());
                }
            }
            std::vector<std::tuple<const char*, double, LWaveFileFormat>> targets = {
                {"A-law", 30, LWaveFileFormat(rate, ch, "ALAW")},
                {"IMA ADPCM", 18, ImaRecord(rate, ch)},
                {"MS ADPCM", 18, MsAdpcmRecord(rate, ch)},
            };
            if (rate == 8000 && ch == 1) targets.push_back({"GSM 6.10", 5, GsmRecord(rate)});
            for (auto& [label, minSnr, format] : targets) {
                SCOPED_TRACE(testing::Message() << "ours: " << label << " " << rate << " " << ch);
                ASSERT_TRUE(EncodeWithWriter(file, format, signal));
                std::vector<int16_t> ff = FfmpegDecode(file), sx = SoxDecode(file);
                EXPECT_TRUE(ff.size() >= signal.size() && sx.size() >= signal.size());
                EXPECT_GT(std::min(SnrDb(signal, ff), SnrDb(signal, sx)), minSnr);
            }
        }
}

// A compressed file without a frame: the whole header with its extra bytes, and an empty sound.
TEST(AcmEdges, HeaderAfterNoWrites) {
    const std::string file = ScratchDir() + "/empty.wav";
    const LWaveFileFormat format = MsAdpcmRecord(8000, 1);
    LWaveOpenSink(file.c_str(), format).reset();
    EXPECT_EQ(ReadFileBytes(file), WavBytes(Bytes(format.Bytes(), format.Bytes() + 50), {}));
    EXPECT_EQ(LWaveFile::OpenSource(file.c_str())->GetEndSample(), 0);
}

// An 18-byte "fmt " record at 8000 Hz and its extra bytes (block align given, or from the bits).
Bytes Fmt(uint16_t tag, uint16_t ch, uint16_t bits, const Bytes& extra, int align = -1) {
    Bytes f = FmtBody(tag, ch, 8000, bits, 18);
    if (align >= 0) f[12] = uint8_t(align), f[13] = 0;
    f[16] = uint8_t(extra.size());
    f.insert(f.end(), extra.begin(), extra.end());
    return f;
}

TEST(AcmBadInput, UnsupportedFormatsAreRefusedAndNamesGiveRecords) {
    const std::string dir = ScratchDir();
    std::vector<uint8_t> data(2048, 0x11);
    std::vector<uint8_t> badGuid = {16, 0,    4, 0,    0, 0, 0x99, 0x12, 0,    0,    0,
                                    0,  0x10, 0, 0x80, 0, 0, 0xAA, 0,    0x38, 0x9B, 0x71};
    std::vector<uint8_t> goodGuidOddTail = {16, 0,    4, 0,    0, 0, 1,    0, 0,    0,    0,
                                            0,  0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x72};
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
        {"unknown tag", Fmt(0x1234, 1, 8, {}, 1)},
        {"IMA block align 0", Fmt(LWAVE_FORMAT_IMA_ADPCM, 1, 4, {0xF9, 0x01}, 0)},
        {"MS ADPCM block align 1", Fmt(LWAVE_FORMAT_ADPCM, 2, 4, {}, 1)},
        {"extensible, unknown sub-format", Fmt(LWAVE_FORMAT_EXTENSIBLE, 2, 16, badGuid, 4)},
        {"extensible, foreign GUID", Fmt(LWAVE_FORMAT_EXTENSIBLE, 2, 16, goodGuidOddTail, 4)},
        {"extensible, record cut short", Fmt(LWAVE_FORMAT_EXTENSIBLE, 2, 16, {16, 0}, 4)},
        {"PCM of 40 bits", Fmt(LWAVE_FORMAT_PCM, 1, 40, {}, 5)},
        {"float of 16 bits", Fmt(LWAVE_FORMAT_IEEE_FLOAT, 1, 16, {}, 2)},
    };
    for (const auto& [label, f] : cases) {
        const std::string file = dir + "/bad.wav";
        ASSERT_TRUE(WriteWavRaw(file, f, data));
        std::vector<uint8_t> before = ReadFileBytes(file);
        uint8_t err = 0;
        DecodeWithReader(file, &err);
        EXPECT_EQ(err, 5) << label;
        EXPECT_EQ(ReadFileBytes(file), before) << label;
    }
    // A record no codec handles is refused, its sink unusable; a missing format file changes no
    // record. Codec names in any case give their records (an unknown one 16-bit PCM).
    LWaveFileFormat f(8000, 1, "ALAW");
    f.Format().wFormatTag = 0x1234;
    EXPECT_FALSE(f.TestSupportedRecord());
    EXPECT_FALSE(f.Load((dir + "/none.wff").c_str()));
    EXPECT_EQ(f.Format().wFormatTag, 0x1234);
    LSinkRef sink = LWaveOpenSink((dir + "/w.wav").c_str(), f);
    EXPECT_TRUE(sink && sink->IsUnusable());
    const LWaveFileFormat pcm8(8000, 1, "pcm8"), other(8000, 1, "MP3");
    EXPECT_EQ(std::tuple(pcm8.Format().wFormatTag, pcm8.Format().wBitsPerSample,
                         other.Format().wFormatTag, other.Format().wBitsPerSample),
              std::tuple(LWAVE_FORMAT_PCM, 8, LWAVE_FORMAT_PCM, 16));
}

// Damaged blocks are skipped as silence, and data cut in the middle of a block ends cleanly.
TEST(AcmBadInput, DamagedAndCutDataDecodeWithoutHanging) {
    const std::string dir = ScratchDir(), good = dir + "/good.wav";
    ASSERT_TRUE(EncodeWithWriter(good, ImaRecord(8000, 1), ToneMix(8000, 1, 8000 * 4)));
    std::vector<int16_t> clean = DecodeWithReader(good);
    std::vector<uint8_t> bytes = ReadFileBytes(good);
    const size_t dataStart = 46 + 2;
    // Blocks 40 and 61 of 64 get a bad step index (61: in a buffer not holding whole blocks).
    ASSERT_EQ(bytes.size(), dataStart + 256 * 64);
    std::vector<uint8_t> damaged = bytes;
    damaged[dataStart + 256 * 40 + 2] = 200;
    damaged[dataStart + 256 * 61 + 2] = 200;
    ASSERT_TRUE(WriteFileBytes(dir + "/damaged.wav", damaged));
    uint8_t err = 0;
    std::vector<int16_t> out = DecodeWithReader(dir + "/damaged.wav", &err);
    ASSERT_TRUE(err == 0 && out.size() > 505u * 16);
    // The first buffer (16 blocks) is unchanged; the damage drops less than a buffer; the skip
    // keeps to block boundaries, so the last blocks decode as before.
    EXPECT_EQ(MaxDiff(std::vector<int16_t>(out.begin(), out.begin() + 505 * 16), clean), 0);
    EXPECT_TRUE(out.size() < clean.size() && out.size() > clean.size() - 505 * 16) << out.size();
    EXPECT_TRUE(std::equal(out.end() - 505 * 2, out.end(), clean.end() - 505 * 2));

    // Cut in the middle of a block and in the middle of the block header.
    for (size_t cut : {size_t(100), size_t(2)}) {
        std::vector<uint8_t> cutBytes(bytes.begin(), bytes.begin() + dataStart + 256 * 10 + cut);
        ASSERT_TRUE(WriteFileBytes(dir + "/cut.wav", cutBytes));
        out = DecodeWithReader(dir + "/cut.wav", &err);
        ASSERT_EQ(err, 0);
        EXPECT_TRUE(out.size() >= 505u * 10 && out.size() <= 505u * 11) << out.size();
        EXPECT_EQ(MaxDiff(out, clean), 0);
    }
}

// Wide integer PCM and floats, plain and extensible, keep the top 16 bits (floats round, clip).
TEST(AcmEdges, WidePcmAndFloatKeepTheTopSixteenBits) {
    const std::string dir = ScratchDir();
    auto ext = [](uint32_t sub, int valid) {
        std::vector<uint8_t> x = {uint8_t(valid), 0, 3, 0, 0, 0};
        for (int i = 0; i < 4; ++i) x.push_back(uint8_t(sub >> (8 * i)));
        x.insert(x.end(), {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
        return x;
    };
    const std::vector<int32_t> values = {
        0,          1,           -1,         0x7FFFFFFF, int32_t(0x80000000),
        0x12345678, -0x12345678, 0x00008000, -0x00008001};
    Bytes d24, d32, d8;
    std::vector<int16_t> top, want8;  // 24 and 32 bits keep the same top 16
    for (int32_t v : values) {
        const uint32_t u = uint32_t(v);
        for (int i = 0; i < 4; ++i) d32.push_back(uint8_t(u >> (8 * i)));
        d24.insert(d24.end(), d32.end() - 3, d32.end());
        d8.push_back(uint8_t(u >> 24));
        top.push_back(int16_t(u >> 16));
        want8.push_back(int16_t((int(u >> 24) - 128) * 256));
    }
    const float floats[] = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 2.0f, -3.0f, 0.999f, 1.0f / 65536};
    const std::vector<int16_t> wantF = {0, 16384, -16384, 32767, -32768, 32767, -32768, 32735, 0};
    Bytes dF(sizeof floats);
    std::memcpy(dF.data(), floats, sizeof floats);
    const std::vector<std::tuple<const char*, Bytes, Bytes, std::vector<int16_t>>> cases = {
        {"PCM 24", Fmt(LWAVE_FORMAT_PCM, 1, 24, {}), d24, top},
        {"PCM 32", Fmt(LWAVE_FORMAT_PCM, 1, 32, {}), d32, top},
        {"PCM 24 in 32 (extensible)", Fmt(LWAVE_FORMAT_EXTENSIBLE, 1, 32, ext(1, 24)), d32, top},
        {"PCM 8 (extensible)", Fmt(LWAVE_FORMAT_EXTENSIBLE, 1, 8, ext(1, 8)), d8, want8},
        {"float", Fmt(LWAVE_FORMAT_IEEE_FLOAT, 1, 32, {}), dF, wantF},
        {"float (extensible)", Fmt(LWAVE_FORMAT_EXTENSIBLE, 1, 32, ext(3, 32)), dF, wantF},
    };
    for (const auto& [label, fmt, data, want] : cases) {
        const std::string file = dir + "/wide.wav";
        ASSERT_TRUE(WriteWavRaw(file, fmt, data));
        uint8_t err = 0;
        std::vector<int16_t> got = DecodeWithReader(file, &err);
        ASSERT_EQ(err, 0) << label;
        EXPECT_EQ(got, want) << label;
    }
}
