// WAV reader and PCM writer: copies, exact headers, junk chunks, streaming files, bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/sound.h"
#include "formats/acm.h"
#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/gsm.h"
#include "formats/wav.h"
#include "support/progress.h"
#include "support/trace.h"
#include "tests/support/peers.h"
#include "tests/support/signal.h"
#include "tests/support/sourceutil.h"
#include "tests/support/testutil.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void Put32(Bytes& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
void PutChunk(Bytes& v, const char* id, uint32_t size, const Bytes& body, bool pad = true) {
    v.insert(v.end(), id, id + 4);
    Put32(v, size);
    v.insert(v.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) v.push_back(0);
}
Bytes Fmt(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t bits, size_t size = 16) {
    Bytes f;
    Put16(f, tag);
    Put16(f, ch);
    Put32(f, rate);
    Put32(f, rate * ch * ((bits + 7) / 8));
    Put16(f, uint16_t(ch * ((bits + 7) / 8)));
    Put16(f, bits);
    f.resize(size, 0);
    return f;
}
// A RIFF/WAVE file from the given inner chunks (already laid out).
Bytes Riff(const Bytes& inner, uint32_t riffSize = 0) {
    Bytes v = {'R', 'I', 'F', 'F'};
    Put32(v, riffSize ? riffSize : uint32_t(inner.size() + 4));
    v.insert(v.end(), {'W', 'A', 'V', 'E'});
    v.insert(v.end(), inner.begin(), inner.end());
    return v;
}

std::vector<int32_t> ReadAll(LSoundSourceBase* src) {
    std::vector<int32_t> all;
    const int ch = src->GetChannels();
    std::vector<int32_t> buf(size_t(LSOUND_BLOCK_FRAMES) * ch);
    const int32_t end = src->GetEndSample();
    while (src->GetPosition() < end) {
        const int32_t want = std::min(LSOUND_BLOCK_FRAMES, end - src->GetPosition());
        src->Read(buf.data(), want);
        all.insert(all.end(), buf.begin(), buf.begin() + want * ch);
    }
    return all;
}

uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// Random-ish samples covering the full range, including both extremes.
std::vector<int32_t> Noise(size_t count, int bits, uint32_t seed) {
    std::vector<int32_t> v(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        if (bits == 8) {
            v[i] = LSampleFromU8(uint8_t(i % 97 == 0 ? 0 : i % 89 == 0 ? 255 : seed >> 24));
        } else {
            v[i] = LSampleFrom16(int16_t(i % 97 == 0 ? -32768 : i % 89 == 0 ? 32767 : seed >> 16));
        }
    }
    return v;
}

std::string Path(const std::string& dir, const char* name) {
    return dir + "/" + name;
}

}  // namespace

// Writing with the PCM sink and reading back gives the same samples for every layout, and the
// header carries the exact bytes of the documented layout; sox reads the same samples.
TEST(WaveFile, CopiesSampleExactAndWritesExactHeader) {
    const std::string dir = testutil::ScratchDir();
    const bool haveSox = testutil::HaveTool("sox");
    for (int bits : {8, 16}) {
        for (int ch : {1, 2}) {
            for (int32_t frames : {0, 1, 3, 8191, 8192, 10001, 20000}) {
                SCOPED_TRACE(testing::Message() << bits << " bits " << ch << " ch " << frames);
                const std::string path = Path(dir, "out.wav");
                const auto samples = Noise(size_t(frames) * ch, bits, uint32_t(frames + ch));
                {
                    LSinkRef sink = LWaveFile::OpenSinkPCM(path.c_str(), 22050, bits, ch);
                    ASSERT_TRUE(sink);
                    ASSERT_FALSE(sink->IsUnusable());
                    // Blocks of odd sizes, as adapters deliver them.
                    int32_t done = 0;
                    for (int32_t step = 1; done < frames; step = step * 3 + 7) {
                        const int32_t n = std::min({step, frames - done, LSOUND_BLOCK_FRAMES});
                        sink->Write(samples.data() + size_t(done) * ch, n);
                        done += n;
                    }
                    EXPECT_EQ(sink->GetPosition(), frames);
                }
                const Bytes file = testutil::ReadFileBytes(path);
                const uint32_t dataBytes = uint32_t(frames * ch * bits / 8);
                ASSERT_EQ(file.size(), 46 + dataBytes);  // no pad byte after odd data
                Bytes header;
                header.insert(header.end(), {'R', 'I', 'F', 'F'});
                Put32(header, dataBytes + 38);
                header.insert(header.end(), {'W', 'A', 'V', 'E'});
                PutChunk(header, "fmt ", 18, Fmt(1, uint16_t(ch), 22050, uint16_t(bits), 18));
                header.insert(header.end(), {'d', 'a', 't', 'a'});
                Put32(header, dataBytes);
                EXPECT_EQ(Bytes(file.begin(), file.begin() + 46), header);

                LSourceRef src = LWaveFile::OpenSource(path.c_str());
                ASSERT_EQ(src->GetError(), LSRC_OK);
                EXPECT_EQ(src->GetSampleRate(), 22050);
                EXPECT_EQ(src->GetChannels(), ch);
                EXPECT_EQ(src->GetPeak(), LSAMPLE_FULL_SCALE);
                EXPECT_FALSE(src->IsStreaming());
                ASSERT_EQ(src->GetEndSample(), frames);
                EXPECT_EQ(ReadAll(src.get()), samples);

                if (haveSox && (frames == 10001 || frames == 3)) {
                    const std::string raw = Path(dir, "sox.raw");
                    ASSERT_EQ(testutil::Run("sox '" + path + "' -t raw '" + raw + "'"), 0);
                    EXPECT_EQ(testutil::ReadFileBytes(raw), Bytes(file.begin() + 46, file.end()));
                    EXPECT_EQ(testutil::RunOutput("soxi -s '" + path + "'"),
                              std::to_string(frames) + "\n");
                }
            }
        }
    }
}

// Files written by sox (a different header layout) read back as the samples sox decodes.
TEST(WaveFile, ReadsFilesWrittenBySox) {
    if (!testutil::HaveTool("sox")) GTEST_SKIP() << "sox missing";
    const std::string dir = testutil::ScratchDir();
    for (const char* enc : {"-b 8 -e unsigned", "-b 16 -e signed"}) {
        const std::string wav = Path(dir, "s.wav"), raw = Path(dir, "s.raw");
        ASSERT_EQ(testutil::Run(std::string("sox -n -r 11025 -c 2 ") + enc + " '" + wav +
                                "' synth 0.7 sine 440 sine 1000 vol 0.9"),
                  0);
        ASSERT_EQ(testutil::Run("sox '" + wav + "' -t raw '" + raw + "'"), 0);
        const Bytes pcm = testutil::ReadFileBytes(raw);
        LSourceRef src = LWaveFile::OpenSource(wav.c_str());
        ASSERT_EQ(src->GetError(), LSRC_OK);
        const auto got = ReadAll(src.get());
        const bool eight = enc[3] == '8';
        ASSERT_EQ(got.size(), eight ? pcm.size() : pcm.size() / 2);
        for (size_t i = 0; i < got.size(); ++i) {
            const int32_t want = eight ? LSampleFromU8(pcm[i])
                                       : LSampleFrom16(int16_t(pcm[2 * i] | pcm[2 * i + 1] << 8));
            ASSERT_EQ(got[i], want) << i;
        }
    }
}

// Junk before the RIFF form, odd-sized chunks with their pad byte between "fmt " and "data", a
// 16-byte "fmt ", an odd-sized "fmt " with pad, and chunks after the data.
TEST(WaveFile, SkipsJunkChunks) {
    const std::string dir = testutil::ScratchDir();
    Bytes data = {0x01, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0x02, 0x00};  // 1, 32767, -32768, 2
    Bytes inner;
    PutChunk(inner, "JUNK", 3, {9, 9, 9});
    PutChunk(inner, "fmt ", 17, Fmt(1, 1, 8000, 16, 17));
    PutChunk(inner, "LIST", 5, {1, 2, 3, 4, 5});
    PutChunk(inner, "data", uint32_t(data.size()), data);
    PutChunk(inner, "DISP", 4, {0, 0, 0, 0});
    Bytes file;
    PutChunk(file, "ABCD", 20, Bytes(20, 0xEE));
    PutChunk(file, "EFGH", 7, Bytes(7, 0xEE));  // odd: pad byte follows
    Bytes riff = Riff(inner);
    file.insert(file.end(), riff.begin(), riff.end());
    const std::string path = Path(dir, "junk.wav");
    testutil::WriteFileBytes(path, file);

    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    ASSERT_EQ(src->GetError(), LSRC_OK);
    EXPECT_EQ(src->GetEndSample(), 4);
    EXPECT_EQ(ReadAll(src.get()), (std::vector<int32_t>{16, 32767 * 16, -32768 * 16, 32}));

    // The chunk walk is reusable: the format record comes back with extra size 0.
    LFile f;
    ASSERT_TRUE(f.Open(path.c_str()));
    LWaveDataInfo info;
    ASSERT_EQ(LWaveReadHeader(f, info), LSRC_OK);
    EXPECT_EQ(info.format.extraSize, 0);
    EXPECT_EQ(info.format.bytes.size(), 18u);
    EXPECT_EQ(info.dataSize, 8u);
    EXPECT_EQ(f.Tell(), info.dataStart);
}

// Every malformed header gives error 3 (4 for a missing file), never a crash, and leaves the
// file untouched.
TEST(WaveFile, RejectsBadHeaders) {
    const std::string dir = testutil::ScratchDir();
    const Bytes d4 = {1, 0, 2, 0};
    auto withFmt = [&](const Bytes& fmt, uint32_t fmtSize) {
        Bytes in;
        PutChunk(in, "fmt ", fmtSize, fmt);
        PutChunk(in, "data", 4, d4);
        return Riff(in);
    };
    struct Case {
        const char* name;
        Bytes file;
        const char* trace;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, "LWaveFile::OpenSource No RIFF WAVE chunk found"});
    cases.push_back(
        {"eleven bytes", Bytes(11, 'R'), "LWaveFile::OpenSource No RIFF WAVE chunk found"});
    {
        Bytes in;
        PutChunk(in, "data", 4, d4);
        cases.push_back({"no fmt", Riff(in), "LWaveFile::OpenSource 'fmt ' subchunk not found!"});
    }
    cases.push_back({"fmt 15", withFmt(Fmt(1, 1, 8000, 16, 15), 15),
                     "LWaveFile::OpenSource fmt too short or too long!"});
    cases.push_back({"fmt 8193", withFmt(Fmt(1, 1, 8000, 16, 8193), 8193),
                     "LWaveFile::OpenSource fmt too short or too long!"});
    {
        Bytes in;
        PutChunk(in, "fmt ", 100, Fmt(1, 1, 8000, 16, 40));  // body cut short
        cases.push_back({"fmt cut", Riff(in), "LWaveFile::OpenSource fmt error!"});
    }
    {
        Bytes in;
        PutChunk(in, "fmt ", 16, Fmt(1, 1, 8000, 16));
        PutChunk(in, "LIST", 4, {1, 2, 3, 4});
        cases.push_back({"no data", Riff(in), "LWaveFile::OpenSource 'data' subchunk not found!"});
    }
    {
        Bytes in;
        PutChunk(in, "LIST", 0xFFFFFFF0, {1, 2, 3, 4});
        PutChunk(in, "fmt ", 16, Fmt(1, 1, 8000, 16));
        cases.push_back(
            {"negative before fmt", Riff(in), "LWaveFile::OpenSource subchunk too short (< 0)!"});
    }
    {
        Bytes in;
        PutChunk(in, "fmt ", 16, Fmt(1, 1, 8000, 16));
        PutChunk(in, "LIST", 0x80000000, {1, 2, 3, 4});
        PutChunk(in, "data", 4, d4);
        cases.push_back(
            {"2 GB chunk after fmt", Riff(in), "LWaveFile::OpenSource subchunk too short (< 0)!"});
    }
    {
        Bytes junk;
        PutChunk(junk, "JUNK", 3, {1, 2, 3, 4, 5, 6, 7, 8}, false);
        cases.push_back({"junk too short", junk, "LWaveFile::OpenSource chunk too short!"});
        Bytes huge;
        PutChunk(huge, "JUNK", 0xFFFFFFFF, {1, 2, 3, 4, 5, 6, 7, 8});
        cases.push_back({"huge junk", huge, "LWaveFile::OpenSource No RIFF WAVE chunk found"});
    }
    for (uint32_t dsSize : {0u, 16u, 0x80000000u}) {  // 64-bit forms need "ds64" first, whole
        Bytes in;
        PutChunk(in, "ds64", dsSize, Bytes(28, 0));
        PutChunk(in, "fmt ", 16, Fmt(1, 1, 8000, 16));
        PutChunk(in, "data", 4, d4);
        Bytes bw64 = Riff(dsSize ? in : Bytes(in.begin() + 36, in.end()));
        std::memcpy(bw64.data(), "BW64", 4);
        cases.push_back({"bad ds64", bw64, "LWaveFile::OpenSource 'ds64' chunk not found!"});
    }
    const char* invalid = "LWaveFile::OpenSource nChannels or nSamplesPerSec is invalid";
    cases.push_back({"0 channels", withFmt(Fmt(1, 0, 8000, 16), 16), invalid});
    cases.push_back({"256 channels", withFmt(Fmt(1, 256, 8000, 16), 16), invalid});
    cases.push_back({"rate 0", withFmt(Fmt(1, 1, 0, 16), 16), invalid});
    cases.push_back({"rate 196001", withFmt(Fmt(1, 1, 196001, 16), 16), invalid});
    cases.push_back({"rate negative", withFmt(Fmt(1, 1, 0x80000000, 16), 16), invalid});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(dir, "bad.wav");
        testutil::WriteFileBytes(path, c.file);
        LClearTrace();
        LSourceRef src = LWaveFile::OpenSource(path.c_str());
        EXPECT_EQ(src->GetError(), LSRC_ERR_INVALID);
        EXPECT_EQ(LLastTrace(), c.trace);
        EXPECT_EQ(src->GetEndSample(), 0);
        src.reset();
        EXPECT_EQ(testutil::ReadFileBytes(path), c.file);
    }

    LClearTrace();
    const std::string missing = Path(dir, "missing.wav");
    EXPECT_EQ(LWaveFile::OpenSource(missing.c_str())->GetError(), LSRC_ERR_OPEN);
    EXPECT_EQ(LLastTrace(), "LWaveFile::OpenSource Unable to Open File: " + missing);
}

// RF64 and BW64: ffmpeg's files decode as ffmpeg decodes them; a sparse file of 4.1 GiB reads
// whole, across the 4 GiB mark and up to its last frame.
TEST(WaveFile, ReadsRf64AndBw64) {
    const std::string dir = testutil::ScratchDir(), rf = Path(dir, "rf.wav");
    const std::string src = Path(dir, "src.wav"), raw = Path(dir, "ff.raw");
    testutil::WriteWav16(src, 22050, 2, testutil::Sine(22050, 2, 30000, 440, 20000));
    for (const char* codec : {"pcm_u8", "pcm_s24le", "pcm_mulaw"}) {  // PCM and codec layer
        if (!testutil::HaveTool("ffmpeg")) break;
        for (const char* form : {"RF64", "BW64"}) {
            SCOPED_TRACE(std::string(codec) + " " + form);
            const std::string ff = "ffmpeg -nostdin -loglevel error -y -i '";
            ASSERT_EQ(testutil::Run(ff + src + "' -c:a " + codec + " -rf64 always '" + rf + "'"),
                      0);
            Bytes file = testutil::ReadFileBytes(rf);
            std::memcpy(file.data(), form, 4);
            testutil::WriteFileBytes(rf, file);
            ASSERT_EQ(testutil::Run(ff + rf + "' -f s16le '" + raw + "'"), 0);
            LSourceRef s = LWaveFile::OpenSource(rf.c_str());
            ASSERT_EQ(s->GetError(), LSRC_OK);
            std::vector<int16_t> ours;
            for (int32_t x : ReadAll(s.get())) ours.push_back(LSampleTo16(x));
            EXPECT_EQ(ours, testutil::ReadRaw16(raw));
        }
    }
    const int64_t frames = (int64_t(41) << 30) / 10 / 4;  // 4.1 GiB
    const std::vector<int64_t> marks = {0, (int64_t(1) << 30) - 1, int64_t(1) << 30, frames - 1};
    ASSERT_TRUE(testutil::WriteSparseRf64(rf, frames, marks));
    LSourceRef s = LWaveFile::OpenSource(rf.c_str());
    ASSERT_EQ(s->GetEndSample(), frames);
    for (int64_t k : marks) {
        int32_t frame[2];
        s->Seek(int32_t(k));
        s->Read(frame, 1);
        EXPECT_EQ(frame[1], LSampleFrom16(testutil::Rf64Mark(k))) << k;
    }
    std::remove(rf.c_str());
}

// Limits that pass: rate 196000, 255 channels; wider PCM goes to the codec layer.
TEST(WaveFile, AcceptsLimitsAndRoutesOtherFormats) {
    const std::string dir = testutil::ScratchDir();
    const std::string path = Path(dir, "x.wav");
    auto open = [&](const Bytes& fmt, uint32_t dataSize, const Bytes& data) {
        Bytes in;
        PutChunk(in, "fmt ", uint32_t(fmt.size()), fmt);
        PutChunk(in, "data", dataSize, data);
        testutil::WriteFileBytes(path, Riff(in));
        return LWaveFile::OpenSource(path.c_str());
    };
    LSourceRef s = open(Fmt(1, 1, 196000, 16), 4, {1, 0, 2, 0});
    EXPECT_EQ(s->GetError(), LSRC_OK);
    EXPECT_EQ(s->GetSampleRate(), 196000);
    s = open(Fmt(1, 255, 8000, 8), 255, Bytes(255, 128));
    EXPECT_EQ(s->GetError(), LSRC_OK);
    EXPECT_EQ(s->GetChannels(), 255);
    EXPECT_EQ(s->GetEndSample(), 1);
    s = open(Fmt(1, 1, 8000, 24), 6, Bytes(6, 0));
    EXPECT_EQ(dynamic_cast<LSRCPCMFileBase*>(s.get()), nullptr);
    // A size field beyond the end of a cut-off file counts only the frames that are there.
    s = open(Fmt(1, 2, 8000, 16), 0x7FFFFFF0, Bytes(402, 7));
    EXPECT_EQ(s->GetError(), LSRC_OK);
    EXPECT_EQ(s->GetEndSample(), 100);
    EXPECT_FALSE(s->IsStreaming());
    // The extra-bytes count never exceeds what the chunk holds.
    Bytes fmt = Fmt(2, 1, 8000, 4, 20);
    fmt[16] = 0xFF;
    fmt[17] = 0x00;
    Bytes in;
    PutChunk(in, "fmt ", 20, fmt);
    PutChunk(in, "data", 4, {1, 2, 3, 4});
    testutil::WriteFileBytes(path, Riff(in));
    LFile f;
    ASSERT_TRUE(f.Open(path.c_str()));
    LWaveDataInfo info;
    ASSERT_EQ(LWaveReadHeader(f, info), LSRC_OK);
    EXPECT_EQ(info.format.extraSize, 2);
    EXPECT_EQ(info.format.bytes.size(), 20u);
    EXPECT_EQ(info.format.bytes[16], 2);
}

// Reads around the edges: before frame 0, past the end, seeks beyond the end.
TEST(WaveFile, SourceSeeksAndPadsWithZeros) {
    const std::string dir = testutil::ScratchDir();
    const std::string path = Path(dir, "r.wav");
    std::vector<int16_t> ramp(1000);
    for (int i = 0; i < 1000; ++i) ramp[i] = int16_t(i + 1);
    ASSERT_TRUE(testutil::WriteWav16(path, 8000, 1, ramp));
    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    std::vector<int32_t> buf(8192, -1);
    src->Seek(-31);
    src->Read(buf.data(), 40);
    EXPECT_EQ(buf[30], 0);
    EXPECT_EQ(buf[31], 16);
    EXPECT_EQ(buf[39], 9 * 16);
    EXPECT_EQ(src->GetPosition(), 9);
    src->Seek(900);
    src->Read(buf.data(), 8192);
    EXPECT_EQ(buf[99], 1000 * 16);
    EXPECT_EQ(buf[100], 0);
    EXPECT_EQ(buf[8191], 0);
    EXPECT_EQ(src->GetPosition(), 1000 + 8092);
    src->Seek(5000);
    src->Read(buf.data(), 10);
    EXPECT_EQ(buf[0], 0);
    src->Seek(-10000);
    src->Read(buf.data(), 8192);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(src->GetPosition(), -10000 + 8192);
}

// The sink's Seek cuts the file and later writes continue from there.
TEST(WaveFile, SinkSeekTruncates) {
    const std::string dir = testutil::ScratchDir();
    const std::string path = Path(dir, "s.wav");
    {
        LSinkRef sink = LWaveFile::OpenSinkPCM(path.c_str(), 8000, 16, 2);
        std::vector<int32_t> block(200, 16);
        sink->Write(block.data(), 100);
        sink->Seek(150);  // beyond: nothing happens
        EXPECT_EQ(sink->GetPosition(), 100);
        sink->Seek(40);
        EXPECT_EQ(sink->GetPosition(), 40);
        std::vector<int32_t> two(20, 32);
        sink->Write(two.data(), 10);
        sink->Seek(-5);
        EXPECT_EQ(sink->GetPosition(), 0);
        sink->Write(two.data(), 3);
    }
    Bytes file = testutil::ReadFileBytes(path);
    ASSERT_EQ(file.size(), 46u + 12);
    EXPECT_EQ(Le32(file, 4), 12u + 38);
    EXPECT_EQ(Le32(file, 42), 12u);
    EXPECT_EQ(file[46], 2);

    EXPECT_FALSE(LWaveFile::OpenSinkPCM(path.c_str(), 8000, 24, 2));
    LSinkRef bad = LWaveFile::OpenSinkPCM((dir + "/no/such/dir/x.wav").c_str(), 8000, 16, 2);
    ASSERT_TRUE(bad);
    EXPECT_TRUE(bad->IsUnusable());
    int32_t s[2] = {0, 0};
    bad->Write(s, 1);
    EXPECT_EQ(bad->GetPosition(), 1);
}

// A file whose size field says "still being written" follows the file's growth and notices the
// writer's final size.
TEST(WaveFile, StreamingFileFollowsGrowth) {
    const std::string dir = testutil::ScratchDir();
    const std::string path = Path(dir, "stream.wav");
    Bytes in;
    PutChunk(in, "fmt ", 16, Fmt(1, 2, 44100, 16));
    Bytes file = Riff(in, 0xFFFFFFFF);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    Put32(file, 0xFFFFFFFF);
    ASSERT_EQ(file.size(), 44u);
    file.resize(44 + 10000, 0);
    testutil::WriteFileBytes(path, file);
    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    ASSERT_EQ(src->GetError(), LSRC_OK);
    EXPECT_TRUE(src->IsStreaming());
    EXPECT_EQ(src->GetEndSample(), 2500);
    file.resize(44 + 10400, 0);
    testutil::WriteFileBytes(path, file);
    EXPECT_EQ(src->GetEndSample(), 2600);
    EXPECT_TRUE(src->IsStreaming());
    file[40] = 0xA0;  // 10400
    file[41] = 0x28;
    file[42] = file[43] = 0;
    file.resize(44 + 12000, 0);  // anything after the data (tags) is not counted
    testutil::WriteFileBytes(path, file);
    EXPECT_EQ(src->GetEndSample(), 2600);
    EXPECT_FALSE(src->IsStreaming());
}

#ifndef _WIN32
// Another process writes a file through the PCM sink while this one reads it to the end.
TEST(WaveFile, ReadsFileWhileAnotherProcessWritesIt) {
    const std::string dir = testutil::ScratchDir();
    const std::string path = Path(dir, "live.wav");
    constexpr int32_t kBlocks = 12, kBlock = 3000;
    auto sampleAt = [](int64_t i) { return LSampleFrom16(int16_t(i * 7 % 65536 - 32768)); };
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        LSinkRef sink = LWaveFile::OpenSinkPCM(path.c_str(), 8000, 16, 1);
        char one = 1;
        if (write(ready[1], &one, 1) != 1) _exit(2);
        std::vector<int32_t> block(kBlock);
        for (int b = 0; b < kBlocks; ++b) {
            for (int i = 0; i < kBlock; ++i) block[i] = sampleAt(int64_t(b) * kBlock + i);
            sink->Write(block.data(), kBlock);
            usleep(20000);
        }
        sink.reset();
        _exit(0);
    }
    char one = 0;
    ASSERT_EQ(read(ready[0], &one, 1), 1);
    close(ready[0]);
    close(ready[1]);
    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    ASSERT_EQ(src->GetError(), LSRC_OK);
    bool sawStreaming = src->IsStreaming();
    std::vector<int32_t> got, buf(1000);
    for (int spins = 0; spins < 3000; ++spins) {
        const int32_t end = src->GetEndSample();
        const int32_t avail = end - src->GetPosition();
        if (avail > 0) {
            const int32_t n = std::min<int32_t>(avail, 1000);
            src->Read(buf.data(), n);
            got.insert(got.end(), buf.begin(), buf.begin() + n);
        } else if (!src->IsStreaming()) {
            break;
        } else {
            src->WaitForData(5);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(sawStreaming);
    EXPECT_FALSE(src->IsStreaming());
    ASSERT_EQ(got.size(), size_t(kBlocks) * kBlock);
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], sampleAt(int64_t(i))) << i;
}
#endif

#ifndef _WIN32
// The last step of every file writer (sizes in the header, the last block) meets a file that
// can no longer be written (its descriptor swapped for a read-only one): the sink says so.
TEST(FileSinks, FailedHeaderUpdateFailsTheFile) {
    const std::string dir = testutil::ScratchDir();
    std::vector<int32_t> block(8000 * 2, 0x12340);
    std::vector<std::function<LSinkRef(const char*)>> makers = {
        [](const char* p) { return LWaveFile::OpenSinkPCM(p, 8000, 16, 2); },
        [](const char* p) { return LWaveOpenSink(p, LWaveFileFormat(8000, 2, "ULAW")); },
        [](const char* p) { return LAifFile::OpenSink(p, 8000, 2); },
        [](const char* p) { return LAuFile::OpenSink(p, 8000, 2); },
        [](const char* p) { return LSinkRef(new LGSMFileSink(p)); }};
    for (size_t i = 0; i < makers.size(); ++i) {
        const std::string path = dir + "/out" + std::to_string(i);
        LSinkRef sink = makers[i](path.c_str());
        sink->Write(block.data(), 7999 / sink->GetChannels());
        ASSERT_FALSE(sink->IsUnusable()) << i;
        ASSERT_EQ(testutil::SpoilOpenFile(path, O_RDONLY), 1) << i;
        EXPECT_EQ(sink->Finish(nullptr), LPROCESS_FAILED) << i;
        EXPECT_TRUE(sink->IsUnusable()) << i;
    }
}
#endif

// Data past what a RIFF header can count continues the file as RF64 (here from a lowered
// threshold): the data moves up behind a "ds64" chunk, and we, ffmpeg and sox read every sample.
TEST(FileSinks, WavContinuesAsRF64) {
    const std::string path = testutil::ScratchDir() + "/long.wav";
    const std::vector<int16_t> pcm = testutil::Sine(8000, 2, 30001, 441, 12000);
    {
        LSNKPCM16File sink(path.c_str(), 8000, 0, 2);
        sink.rf64From = 40000;
        std::vector<int32_t> block(pcm.size());
        for (size_t i = 0; i < pcm.size(); ++i) block[i] = LSampleFrom16(pcm[i]);
        for (int32_t at = 0, n = 7777; at < 30001; at += n)
            sink.Write(block.data() + 2 * at, std::min(n, 30001 - at));
        ASSERT_EQ(sink.Finish(nullptr), LPROCESS_OK);
    }
    const std::vector<uint8_t> bytes = testutil::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 82u + 30001 * 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RF64");
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "ds64");
    LSourceRef ours = LWaveFile::OpenSource(path.c_str());
    ASSERT_TRUE(ours);
    EXPECT_EQ(testutil::ReadAll16(*ours), pcm);
    for (const char* peer : {"ffmpeg", "sox"}) {
        SCOPED_TRACE(peer);
        const testutil::Wav16 back = testutil::PeerDecode(peer, path);
        ASSERT_TRUE(back.ok);
        EXPECT_EQ(back.samples, pcm);
    }
}
