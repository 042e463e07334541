// Raw (seven codings), G.711, AIFF and AU readers and writers against sox, plus bad input.

#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/g711.h"
#include "formats/raw.h"
#include "formats/wav.h"
#include "store/encsettings.h"
#include "support/byteorder.h"
#include "tests/support/concat.h"
#include "tests/support/kit.h"

using namespace testutil;

namespace {

// The whole 16-bit range: a loud sine, a ramp over every value step and noise, interleaved.
std::vector<int16_t> TestSignal(int channels, int frames) {
    std::vector<int16_t> v(size_t(frames) * size_t(channels));
    uint32_t seed = 12345;
    for (size_t i = 0; i < v.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const size_t section = i * 3 / v.size();
        v[i] = section == 0   ? int16_t(32767 * std::sin(double(i) * 0.01))
               : section == 1 ? int16_t(int32_t(i * 37 % 65536) - 32768)
                              : int16_t(seed >> 16);
    }
    return v;
}

// The test signal in dir/in.raw for sox.
class SoxPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("sox")) GTEST_SKIP() << "sox missing (scripts/setup.sh installs it)";
        ASSERT_TRUE(WriteRaw16(dir + "/in.raw", signal));
    }
    // sox reading dir/in.raw at the given rate.
    std::string FromRaw(int rate) {
        return "sox -D -V1 -t raw -r " + std::to_string(rate) + " -c 2 -b 16 -e signed -L '" + dir +
               "/in.raw' ";
    }
    const std::string dir = ScratchDir();
    const std::vector<int16_t> signal = TestSignal(2, 30000);
};

// Reference quantiser: the largest code whose decision level does not exceed the magnitude.
// Segment s starts at 128 << s (u-law: 132 less) and steps by 8 << s (A-law: at least 16).
uint8_t RefG711(int v, bool alaw) {
    int best = 0;
    for (int code = 0; code < 128; ++code) {
        const int s = code >> 4, m = code & 15;
        const int start = s == 0 ? 0 : (128 << s) - (alaw ? 0 : 132);
        if (start + m * (alaw ? std::max(16, 8 << s) : 8 << s) <= std::abs(v)) best = code;
    }
    return alaw ? uint8_t(((v >= 0 ? 0x80 : 0) | best) ^ 0x55)
                : uint8_t(~((v < 0 ? 0x80 : 0) | best));
}

TEST(G711, AllInputsMatchTheSegmentTables) {
    for (int v = -32768; v <= 32767; ++v) {
        ASSERT_EQ(G711ULawCompress(v * 16), RefG711(v, false)) << v;
        ASSERT_EQ(G711ALawCompress(v * 16), RefG711(v, true)) << v;
    }
}

const std::pair<int32_t, const char*> kRawCases[] = {
    {LRAW_CODEC_ULAW, "-e mu-law"},
    {LRAW_CODEC_ALAW, "-e a-law"},
    {LRAW_CODEC_PCM16LE, "-b 16 -e signed -L"},
    {LRAW_CODEC_PCM8U, "-b 8 -e unsigned"},
    {LRAW_CODEC_PCM8S, "-b 8 -e signed"},
    {LRAW_CODEC_PCM16BE, "-b 16 -e signed -B"},
};

TEST_F(SoxPeer, RawCodingsReadAndWriteLikeSox) {
    for (const auto& [codec, soxType] : kRawCases) {
        SCOPED_TRACE(soxType);
        const std::string type = std::string("-t raw -r 22050 -c 2 ") + soxType + " ";
        const std::string file = dir + "/sox" + std::to_string(codec) + ".raw";
        ASSERT_EQ(testutil::Run(FromRaw(22050) + type + "'" + file + "'"), 0);
        LSourceRef src = LRawFile::OpenSource(file.c_str(), 22050, 2, codec);
        ASSERT_EQ(std::tuple(src->GetError(), src->GetPeak()), std::tuple(0, RawCodecPeak(codec)));
        EXPECT_EQ(ReadAll16(*src), SoxDecode(file, type));

        // Our writer: sox reads back exactly what our own reader reads (16 bits: sox's bytes).
        const std::string ours = dir + "/ours" + std::to_string(codec) + ".raw";
        Feed(*LRawFile::OpenSink(ours.c_str(), 22050, 2, codec), Internal(signal));
        LSourceRef back = LRawFile::OpenSource(ours.c_str(), 22050, 2, codec);
        EXPECT_EQ(ReadAll16(*back), SoxDecode(ours, type));
        EXPECT_TRUE(RawCodecBytes(codec) != 2 || ReadFileBytes(ours) == ReadFileBytes(file));
    }
}

// A stray last byte, a stored channel count of 0, bad codecs and channels.
TEST(RawFile, OddSizesAndBadSettings) {
    const std::string dir = ScratchDir(), odd = dir + "/odd.raw";
    ASSERT_TRUE(WriteFileBytes(odd, Bytes(2001, 0x11)));
    LRawSettings settings(LRawSettings::kRawSection);
    settings.sampleRate = 8000;
    settings.channels = 0;  // a stored 0 opens as mono
    settings.codec = LRAW_CODEC_PCM16LE;
    LSourceRef src = LRawFile::OpenSource(odd.c_str(), settings);
    EXPECT_EQ(std::tuple(src->GetChannels(), src->GetEndSample()), std::tuple(1, 1000));
    for (int32_t codec : {7, -1}) {
        EXPECT_EQ(LRawFile::OpenSource(odd.c_str(), 8000, 1, codec)->GetError(), 1);
        EXPECT_FALSE(LRawFile::OpenSink((dir + "/x.raw").c_str(), 8000, 1, codec));
    }
    for (int32_t codec : {1, 3}) {  // zero channels: error 3, silent reads inside the buffer
        LSourceRef none = LRawFile::OpenSource(odd.c_str(), 8000, 0, codec);
        EXPECT_EQ(none->GetError(), 3);
        EXPECT_EQ(ReadFrames(*none, 8192), std::vector<int32_t>(8192, 0));
    }
}

// The WAV and raw sinks' Seek cuts the file (never forward, never before 0); writes go on there.
TEST(FileSinks, SeekTruncates) {
    const std::string dir = ScratchDir();
    std::vector<int32_t> ramp(100);
    for (int i = 0; i < 100; ++i) ramp[size_t(i)] = i * 16;
    for (const bool wav : {true, false}) {
        const std::string path = dir + (wav ? "/s.wav" : "/s.raw");
        {
            LSinkRef sink = wav ? LWaveFile::OpenSinkPCM(path.c_str(), 8000, 16, 1)
                                : LRawFile::OpenSink(path.c_str(), 8000, 1, LRAW_CODEC_PCM16LE);
            Feed(*sink, ramp);
            sink->Seek(150);
            const int32_t forward = sink->GetPosition();
            sink->Seek(-5);
            const int32_t back = sink->GetPosition();
            Feed(*sink, ramp);
            sink->Seek(40);
            Feed(*sink, std::vector<int32_t>(ramp.begin() + 90, ramp.begin() + 95));
            EXPECT_EQ(std::tuple(forward, back, sink->GetPosition()), std::tuple(100, 0, 45));
        }
        const Bytes file = ReadFileBytes(path);
        const size_t h = wav ? 46 : 0;
        ASSERT_EQ(file.size(), h + 90) << wav;
        EXPECT_EQ(std::tuple(LoadLE16(&file[h + 78]), LoadLE16(&file[h + 80])), std::tuple(39, 90));
        EXPECT_TRUE(!wav || (LoadLE32(&file[4]) == 38 + 90 && LoadLE32(&file[42]) == 90));
    }
}

// A NaN reads as 0 and 8000.5 rounds up; rates from 2 to 1000000 come back as written.
TEST(AiffRate, ExtendedConversions) {
    const uint8_t nan[10] = {0x7F, 0xFF, 0xC0}, half[10] = {0x40, 0x0B, 0xFA, 0x04};
    EXPECT_EQ(std::tuple(AIFFRateFromExtended(nan), AIFFRateFromExtended(half)),
              std::tuple(0, 8001));
    for (int32_t rate :
         {2, 3, 4, 5, 6000, 7999, 8000, 11025, 22050, 44100, 48000, 96000, 196000, 1000000}) {
        uint8_t ext[10];
        AIFFRateToExtended(rate, ext);
        EXPECT_EQ(AIFFRateFromExtended(ext), rate);
    }
}

// AIFF and AU by sox decode as sox does; AIFF-C by ffmpeg and sox as ffmpeg does (floats beyond
// full scale too), other AIFF-C sizes: error 5.
TEST_F(SoxPeer, AiffAuAndAifcFromPeersDecodeExactly) {
    const std::tuple<const char*, const char*, int32_t> cases[] = {
        {"a16.aiff", "-b 16", 0x7FFF0},         {"a8.aiff", "-b 8", 0x7FFF0},
        {"u16.au", "-b 16 -e signed", 0x7FFF0}, {"u8.au", "-b 8 -e signed", 0x7FFF0},
        {"ul.au", "-e mu-law", 0x7E000},        {"al.au", "-e a-law", 0x7E000},
    };
    for (const auto& [name, args, peak] : cases) {
        SCOPED_TRACE(name);
        const std::string file = dir + "/" + name;
        ASSERT_EQ(testutil::Run(FromRaw(32000) + args + " '" + file + "'"), 0);
        LSourceRef src = std::strstr(name, "aiff") ? LAifFile::OpenSource(file.c_str())
                                                   : LAuFile::OpenSource(file.c_str());
        EXPECT_EQ(std::tuple(src->GetError(), src->GetSampleRate(), src->GetChannels(),
                             src->GetPeak(), src->GetEndSample()),
                  std::tuple(0, 32000, 2, peak, 30000));
        EXPECT_EQ(ReadAll16(*src), SoxDecode(file));
    }
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg missing (scripts/setup.sh installs it)";
    const std::string ff = "ffmpeg -nostdin -loglevel error -y -f s16le -ar 32000 -ac 2 -i '" +
                           dir + "/in.raw' -f aiff ";
    const std::string loud = "-af aformat=sample_fmts=dbl,volume=1.37 ";
    const std::string sox = FromRaw(32000) + "-t aifc ";
    // The command, the compression type written over "NONE" (or none), the error expected.
    const std::tuple<std::string, const char*, uint8_t> aifc[] = {
        {ff + "-c:a pcm_s16le", nullptr, 0},
        {ff + loud + "-c:a pcm_f32be", nullptr, 0},
        {ff + loud + "-c:a pcm_f64be", nullptr, 0},
        {ff + "-c:a pcm_mulaw", nullptr, 0},
        {ff + "-c:a pcm_alaw", nullptr, 0},
        {sox + "-b 16", nullptr, 0},
        {sox + "-b 16", "twos", 0},
        {sox + "-b 24", nullptr, 5}};
    for (const auto& [make, patch, error] : aifc) {
        SCOPED_TRACE(make);
        const std::string file = dir + "/x.aifc";
        ASSERT_EQ(testutil::Run(make + " '" + file + "'"), 0);
        std::vector<uint8_t> bytes = ReadFileBytes(file);
        ASSERT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "AIFC");
        if (patch) {
            const size_t at = std::string(bytes.begin(), bytes.end()).find("NONE");
            ASSERT_NE(at, std::string::npos);
            std::memcpy(&bytes[at], patch, 4);
            ASSERT_TRUE(WriteFileBytes(file, bytes));
        }
        LSourceRef src = LAifFile::OpenSource(file.c_str());
        ASSERT_EQ(src->GetError(), error);
        if (error) continue;
        EXPECT_EQ(std::tuple(src->GetSampleRate(), ReadAll16(*src)),
                  std::tuple(32000, FfmpegDecode(file)));
    }
}

TEST_F(SoxPeer, SoxReadsOurAiffAndAu) {
    const auto part = TestSignal(2, 1000);
    const auto block = Internal(part);
    const std::string aif = dir + "/ours.aif", au = dir + "/ours.au";
    {
        LSinkRef a = LAifFile::OpenSink(aif.c_str(), 44100, 2);
        LSinkRef b = LAuFile::OpenSink(au.c_str(), 44100, 2);
        // Before the sink is finished the headers say "size not known yet".
        const auto provisional = ReadFileBytes(aif);
        ASSERT_EQ(provisional.size(), 54u);
        EXPECT_EQ(LoadBE32(&provisional[42]), 0xFFFFFFFFu);
        for (LSinkRef* sink : {&a, &b}) (*sink)->Write(block.data(), 1000);
    }
    const auto bytes = ReadFileBytes(aif), auBytes = ReadFileBytes(au);
    ASSERT_EQ(std::tuple(bytes.size(), auBytes.size()), std::tuple(4054u, 4024u));
    EXPECT_EQ(std::tuple(LoadBE32(&bytes[4]), LoadBE32(&bytes[22]), LoadBE32(&bytes[42]),
                         LoadBE32(&auBytes[8]), LoadBE32(&auBytes[12])),
              std::tuple(4046u, 1000u, 4008u, 4000u, 3u));
    EXPECT_EQ(SoxDecode(aif), part);
    EXPECT_EQ(SoxDecode(au), part);
    EXPECT_EQ(testutil::RunOutput("soxi -r '" + aif + "'"), "44100\n");
}

// An AIFF file by hand: COMM and SSND in the given order, data bytes i * 7.
Bytes Aiff(int channels, int sampleSize, const uint8_t* rate, bool ssndFirst, uint32_t ssndSize,
           size_t dataBytes, uint32_t commSize = 18) {
    Bytes comm(8 + commSize, 0), ssnd(16 + dataBytes, 0);
    std::memcpy(comm.data(), "COMM", 4);
    StoreBE32(&comm[4], commSize);
    if (commSize >= 18) {
        StoreBE16(&comm[8], uint16_t(channels));
        StoreBE16(&comm[14], uint16_t(sampleSize));
        std::memcpy(&comm[16], rate, 10);
    }
    std::memcpy(ssnd.data(), "SSND", 4);
    StoreBE32(&ssnd[4], ssndSize);
    for (size_t i = 0; i < dataBytes; ++i) ssnd[16 + i] = uint8_t(i * 7);
    Bytes f(12);
    std::memcpy(f.data(), "FORM", 4);
    std::memcpy(&f[8], "AIFF", 4);
    for (const Bytes* b : {ssndFirst ? &ssnd : &comm, ssndFirst ? &comm : &ssnd})
        f.insert(f.end(), b->begin(), b->end());
    StoreBE32(&f[4], uint32_t(f.size() - 8));
    return f;
}

// A chunk inserted in front of COMM (the FORM size fixed up).
Bytes WithChunk(const Bytes& file, const Bytes& chunk) {
    Bytes v = Concat({{file.begin(), file.begin() + 12}, chunk, {file.begin() + 12, file.end()}});
    StoreBE32(&v[4], uint32_t(v.size() - 8));
    return v;
}

Bytes Au(uint32_t offset, uint32_t size, uint32_t encoding, uint32_t rate, uint32_t channels,
         size_t dataBytes) {
    const size_t start = std::max<size_t>(offset, 24);
    Bytes f(start + dataBytes, 0xEE);
    std::memcpy(f.data(), ".snd", 4);
    for (uint32_t k = 0, v[5] = {offset, size, encoding, rate, channels}; k < 5; ++k)
        StoreBE32(&f[4 + 4 * k], v[k]);
    for (size_t i = 0; i < dataBytes; ++i) f[start + i] = uint8_t(i);
    return f;
}

// Opens each file of the table, from its path and from its bytes in memory, and expects its
// error code, the file left as it was.
template <class Reader>
void ExpectErrors(const std::string& path, const std::vector<std::pair<Bytes, int>>& cases) {
    for (size_t i = 0; i < cases.size(); ++i) {
        ASSERT_TRUE(WriteFileBytes(path, cases[i].first));
        EXPECT_EQ(Reader::OpenSource(path.c_str())->GetError(), cases[i].second) << "row " << i;
        EXPECT_EQ(ReadFileBytes(path), cases[i].first) << "row " << i;
        LFile bytes;
        bytes.OpenBytes(cases[i].first.data(), cases[i].first.size());
        EXPECT_EQ(Reader::OpenSource(std::move(bytes))->GetError(), cases[i].second) << "row " << i;
    }
}

TEST(AiffFile, BadAndOddHeaders) {
    const std::string p = ScratchDir() + "/t.aif";
    uint8_t r8k[10];
    AIFFRateToExtended(8000, r8k);
    const uint8_t zero[10] = {};
    const Bytes full = Aiff(2, 16, r8k, false, 8 + 100, 100);
    Bytes aifc = full;
    std::memcpy(&aifc[8], "AIFC", 4);
    std::vector<std::pair<Bytes, int>> cases = {
        {Aiff(1, 16, r8k, false, 108, 100), 0},
        {Aiff(1, 16, r8k, true, 108, 100), 3},
        {Aiff(1, 24, r8k, false, 107, 99), 5},
        {Aiff(0, 16, r8k, false, 108, 100), 3},
        {Aiff(1, 16, zero, false, 108, 100), 3},
        {Aiff(1, 16, r8k, false, 108, 100, 10), 3},
        {aifc, 3},
        {WithChunk(full, {'J', 'U', 'N', 'K', 0x80, 0, 0, 0}), 3},           // negative as signed
        {WithChunk(full, {'J', 'U', 'N', 'K', 0x7F, 0xFF, 0xFF, 0xF0}), 3},  // beyond the file
    };
    for (long cut : {0, 5, 11, 20, 30, 47, 50})
        cases.push_back({Bytes(full.begin(), full.begin() + cut), 3});
    ExpectErrors<LAifFile>(p, cases);

    // An odd-sized chunk before COMM, with or (sloppy writers) without its pad: same samples.
    ASSERT_TRUE(WriteFileBytes(p, full));
    const auto reference = ReadFrames(*LAifFile::OpenSource(p.c_str()), 10);
    for (Bytes name : {Bytes{'N', 'A', 'M', 'E', 0, 0, 0, 3, 'a', 'b', 'c', 0},
                       Bytes{'N', 'A', 'M', 'E', 0, 0, 0, 3, 'a', 'b', 'c'}}) {
        ASSERT_TRUE(WriteFileBytes(p, WithChunk(full, name)));
        EXPECT_EQ(ReadFrames(*LAifFile::OpenSource(p.c_str()), 10), reference) << name.size();
    }
    // Sample size 12 reads as 16; a larger COMM is skipped; SSND size 0xFFFFFFFF reads the rest.
    ASSERT_TRUE(WriteFileBytes(p, Aiff(1, 12, r8k, false, 108, 100, 22)));
    LSourceRef s12 = LAifFile::OpenSource(p.c_str());
    EXPECT_EQ(std::tuple(s12->GetEndSample(), ReadFrames(*s12, 1)[0]), std::tuple(50, 0x0007 * 16));
    ASSERT_TRUE(WriteFileBytes(p, Aiff(2, 16, r8k, false, 0xFFFFFFFFu, 400)));
    EXPECT_EQ(LAifFile::OpenSource(p.c_str())->GetEndSample(), 100);
}

TEST(AuFile, HeadersAndBadInput) {
    const std::string p = ScratchDir() + "/t.au";
    Bytes past = Au(24, 0xFFFFFFFFu, 3, 8000, 1, 100), atEnd = past;
    StoreBE32(&past[4], 0x7FFFFFF0u);
    StoreBE32(&atEnd[4], 124);
    Bytes bad = Au(24, 100, 3, 8000, 1, 100);
    bad[0] = 'x';
    ExpectErrors<LAuFile>(p, {{Au(24, 100, 3, 8000, 1, 100), 0},
                              {Au(24, 100, 4, 8000, 1, 99), 5},  // 24-bit linear
                              {Au(24, 100, 3, 8000, 0, 100), 3},
                              {Au(24, 100, 3, 0, 1, 100), 3},
                              {Au(8, 100, 3, 8000, 1, 100), 3},  // offset inside the header
                              {past, 3},   // offset beyond the end of the file
                              {atEnd, 0},  // offset at the end: an empty sound
                              {bad, 3},
                              {Bytes(bad.begin(), bad.begin() + 23), 3}});
    // No size: to the end of the file; data from the offset; the channel field's low byte counts.
    ASSERT_TRUE(WriteFileBytes(p, Au(32, 0xFFFFFFFFu, 3, 11025, 0x102, 120)));
    LSourceRef s = LAuFile::OpenSource(p.c_str());
    EXPECT_EQ(std::tuple(s->GetChannels(), s->GetEndSample()), std::tuple(2, 30));
    EXPECT_EQ(ReadFrames(*s, 1), (std::vector<int32_t>{0x0001 * 16, 0x0203 * 16}));
    // A size beyond the file is cut to the bytes present.
    ASSERT_TRUE(WriteFileBytes(p, Au(24, 1000000, 1, 8000, 1, 10)));
    EXPECT_EQ(LAuFile::OpenSource(p.c_str())->GetEndSample(), 10);
}

}  // namespace
