// WAV reader and PCM writer: headers, peers, bad input, RF64, growth, the 4 GiB limit.

#ifndef _WIN32
#include <fcntl.h>
#endif

#include "formats/acm.h"
#include "formats/au.h"
#include "formats/gsm.h"
#include "formats/wav.h"
#include "support/progress.h"
#include "support/trace.h"
#include "tests/support/concat.h"
#include "tests/support/kit.h"

using namespace testutil;

namespace {

// Random-ish samples covering the full range of 8 or 16 bits, including both extremes.
std::vector<int32_t> Noise(size_t count, int bits, uint32_t seed) {
    std::vector<int32_t> v(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int16_t x = int16_t(i % 97 == 0 ? -32768 : i % 89 == 0 ? 32767 : seed >> 16);
        v[i] = bits == 8 ? LSampleFromU8(uint8_t((x >> 8) + 128)) : LSampleFrom16(x);
    }
    return v;
}

LSourceRef OpenBytes(const std::string& path, const Bytes& file) {
    WriteFileBytes(path, file);
    return LWaveFile::OpenSource(path.c_str());
}

}  // namespace

// The PCM sink writes the documented header byte for byte; sox and our reader read it back.
TEST(WaveFile, WritesExactHeaderThatSoxReads) {
    const std::string dir = ScratchDir(), path = dir + "/out.wav", raw = dir + "/sox.raw";
    for (int bits : {8, 16})
        for (int ch : {1, 2})
            for (int32_t frames : {0, 3, 10001}) {
                SCOPED_TRACE(testing::Message() << bits << " bits " << ch << " ch " << frames);
                const auto samples = Noise(size_t(frames) * ch, bits, uint32_t(frames + ch));
                Feed(*LWaveFile::OpenSinkPCM(path.c_str(), 22050, bits, ch), samples, 777);
                const Bytes file = ReadFileBytes(path);
                const uint32_t dataBytes = uint32_t(frames * ch * bits / 8);
                ASSERT_EQ(file.size(), 46 + dataBytes);  // no pad byte after odd data
                Bytes inner;
                PutChunk(inner, "fmt ", FmtBody(1, uint16_t(ch), 22050, uint16_t(bits), 18));
                PutChunk(inner, "data", {}, dataBytes);
                EXPECT_EQ(Bytes(file.begin(), file.begin() + 46), RiffWave(inner, dataBytes + 38));
                LSourceRef src = LWaveFile::OpenSource(path.c_str());
                EXPECT_EQ(ReadToEnd(src.get()), samples);
                if (!HaveTool("sox") || frames == 0) continue;
                ASSERT_EQ(testutil::Run("sox '" + path + "' -t raw '" + raw + "'"), 0);
                EXPECT_EQ(ReadFileBytes(raw), Bytes(file.begin() + 46, file.end()));
            }
    EXPECT_FALSE(LWaveFile::OpenSinkPCM(path.c_str(), 8000, 24, 2));  // 8 or 16 bits only
}

// Junk before the form, odd-sized chunks and their pads, an odd "fmt ", chunks after the data.
TEST(WaveFile, SkipsJunkChunks) {
    Bytes inner, file;
    PutChunk(inner, "JUNK", {9, 9, 9});
    PutChunk(inner, "fmt ", FmtBody(1, 1, 8000, 16, 17));
    PutChunk(inner, "LIST", {1, 2, 3, 4, 5});
    PutChunk(inner, "data", {0x01, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0x02, 0x00});
    PutChunk(inner, "DISP", {0, 0, 0, 0});
    PutChunk(file, "ABCD", Bytes(20, 0xEE));
    PutChunk(file, "EFGH", Bytes(7, 0xEE));
    LSourceRef src = OpenBytes(ScratchDir() + "/junk.wav", Concat({file, RiffWave(inner)}));
    ASSERT_EQ(src->GetError(), LSRC_OK);
    EXPECT_EQ(ReadToEnd(src.get()), (std::vector<int32_t>{16, 32767 * 16, -32768 * 16, 32}));
}

// Every malformed header gives error 3 and its trace, no crash, and leaves the file alone.
TEST(WaveFile, RejectsBadHeaders) {
    const std::string dir = ScratchDir(), path = dir + "/bad.wav";
    const Bytes d4 = {1, 0, 2, 0};
    auto chunks = [](std::initializer_list<std::pair<const char*, Bytes>> list, int64_t size = -1) {
        Bytes in;
        for (const auto& [id, body] : list) PutChunk(in, id, body);
        return RiffWave(in, size);
    };
    auto withFmt = [&](const Bytes& fmt) { return chunks({{"fmt ", fmt}, {"data", d4}}); };
    auto sized = [&](const char* id, int64_t size, Bytes body, Bytes rest = {}) {
        Bytes in;
        PutChunk(in, id, body, size, false);
        return Concat({in, rest});
    };
    const Bytes fmtChunk = sized("fmt ", 16, FmtBody(1, 1, 8000, 16));
    auto bw64 = [&](int64_t dsSize) {
        Bytes v =
            RiffWave(Concat({dsSize ? sized("ds64", dsSize, Bytes(28, 0), fmtChunk) : fmtChunk,
                             sized("data", 4, d4)}));
        std::memcpy(v.data(), "BW64", 4);
        return v;
    };
    const std::string pre = "LWaveFile::OpenSource ", noRiff = "No RIFF WAVE chunk found",
                      tooLong = "fmt too short or too long!",
                      negative = "subchunk too short (< 0)!", noDs64 = "'ds64' chunk not found!",
                      invalid = "nChannels or nSamplesPerSec is invalid";
    const std::vector<std::tuple<const char*, Bytes, std::string>> cases = {
        {"eleven bytes", Bytes(11, 'R'), noRiff},
        {"no fmt", chunks({{"data", d4}}), "'fmt ' subchunk not found!"},
        {"fmt 15", withFmt(FmtBody(1, 1, 8000, 16, 15)), tooLong},
        {"fmt 8193", withFmt(FmtBody(1, 1, 8000, 16, 8193)), tooLong},
        {"fmt cut", RiffWave(sized("fmt ", 100, FmtBody(1, 1, 8000, 16, 40))), "fmt error!"},
        {"no data", chunks({{"fmt ", FmtBody(1, 1, 8000, 16)}, {"LIST", d4}}),
         "'data' subchunk not found!"},
        {"negative before fmt", RiffWave(sized("LIST", 0xFFFFFFF0, d4, fmtChunk)), negative},
        {"2 GB after fmt",
         RiffWave(Concat({fmtChunk, sized("LIST", 0x80000000, d4, sized("data", 4, d4))})),
         negative},
        {"junk too short", sized("JUNK", 3, {1, 2, 3, 4, 5, 6, 7, 8}), "chunk too short!"},
        {"huge junk", sized("JUNK", 0xFFFFFFFF, {1, 2, 3, 4, 5, 6, 7, 8}), noRiff},
        {"no ds64", bw64(0), noDs64},
        {"ds64 16", bw64(16), noDs64},
        {"ds64 2 GB", bw64(0x80000000), noDs64},
        {"0 channels", withFmt(FmtBody(1, 0, 8000, 16)), invalid},
        {"256 channels", withFmt(FmtBody(1, 256, 8000, 16)), invalid},
        {"rate 0", withFmt(FmtBody(1, 1, 0, 16)), invalid},
        {"rate 196001", withFmt(FmtBody(1, 1, 196001, 16)), invalid},
    };
    for (const auto& [name, file, trace] : cases) {
        LClearTrace();
        EXPECT_EQ(OpenBytes(path, file)->GetError(), LSRC_ERR_INVALID) << name;
        EXPECT_EQ(LLastTrace(), pre + trace) << name;
        EXPECT_EQ(ReadFileBytes(path), file) << name;
    }
}

// Limits that pass (196000 Hz, 255 channels) and a size beyond a cut-off file.
TEST(WaveFile, AcceptsLimitsAndCutOffFiles) {
    const std::string path = ScratchDir() + "/x.wav";
    EXPECT_EQ(OpenBytes(path, WavBytes(FmtBody(1, 1, 196000, 16), {1, 0, 2, 0}))->GetSampleRate(),
              196000);
    LSourceRef s = OpenBytes(path, WavBytes(FmtBody(1, 255, 8000, 8), Bytes(255, 128)));
    EXPECT_EQ(std::tuple(s->GetChannels(), s->GetEndSample()), std::tuple(255, 1));
    Bytes in;
    PutChunk(in, "fmt ", FmtBody(1, 2, 8000, 16));
    PutChunk(in, "data", Bytes(402, 7), 0x7FFFFFF0);
    s = OpenBytes(path, RiffWave(in));
    EXPECT_EQ(std::tuple(s->GetEndSample(), s->IsStreaming()), std::tuple(100, false));
}

// RF64/BW64 from ffmpeg decode as ffmpeg decodes them; a sparse 4.1 GiB file reads past 4 GiB.
TEST(WaveFile, ReadsRf64AndBw64) {
    const std::string dir = ScratchDir(), rf = dir + "/rf.wav", src = dir + "/src.wav";
    WriteWav16(src, 22050, 2, Sine(22050, 2, 30000, 440, 20000));
    const std::string ff = "ffmpeg -nostdin -loglevel error -y -i '";
    for (const char* codec : {"pcm_u8", "pcm_s24le", "pcm_mulaw"}) {
        if (!HaveTool("ffmpeg")) break;
        for (const char* form : {"RF64", "BW64"}) {
            ASSERT_EQ(testutil::Run(ff + src + "' -c:a " + codec + " -rf64 always '" + rf + "'"),
                      0);
            Bytes file = ReadFileBytes(rf);
            std::memcpy(file.data(), form, 4);
            EXPECT_EQ(ReadAll16(*OpenBytes(rf, file)), FfmpegDecode(rf)) << codec << " " << form;
        }
    }
    const int64_t frames = (int64_t(41) << 30) / 10 / 4;
    const std::vector<int64_t> marks = {0, (int64_t(1) << 30) - 1, int64_t(1) << 30, frames - 1};
    ASSERT_TRUE(WriteSparseRf64(rf, frames, marks));
    LSourceRef s = LWaveFile::OpenSource(rf.c_str());
    ASSERT_EQ(s->GetEndSample(), frames);
    for (int64_t k : marks) {
        s->Seek(int32_t(k));
        EXPECT_EQ(ReadFrames(*s, 1)[1], LSampleFrom16(Rf64Mark(k))) << k;
    }
    std::filesystem::remove(rf);
}

// A "still being written" size follows the file's growth, then the writer's final size.
TEST(WaveFile, StreamingFileFollowsGrowth) {
    const std::string path = ScratchDir() + "/stream.wav";
    Bytes in;
    PutChunk(in, "fmt ", FmtBody(1, 2, 44100, 16));
    PutChunk(in, "data", {}, 0xFFFFFFFF);
    Bytes file = RiffWave(in, 0xFFFFFFFF);
    file.resize(44 + 10000, 0);
    LSourceRef src = OpenBytes(path, file);
    EXPECT_EQ(std::tuple(src->IsStreaming(), src->GetEndSample()), std::tuple(true, 2500));
    file.resize(44 + 10400, 0);
    WriteFileBytes(path, file);
    EXPECT_EQ(std::tuple(src->IsStreaming(), src->GetEndSample()), std::tuple(true, 2600));
    const uint8_t size[4] = {0xA0, 0x28, 0, 0};  // 10400
    std::memcpy(&file[40], size, 4);
    file.resize(44 + 12000, 0);
    WriteFileBytes(path, file);
    EXPECT_EQ(std::tuple(src->IsStreaming(), src->GetEndSample()), std::tuple(false, 2600));
}

#ifndef _WIN32
// Every file writer's last step (header sizes, last block) meets a read-only file: it fails.
TEST(FileSinks, FailedHeaderUpdateFailsTheFile) {
    const std::string dir = ScratchDir();
    const std::vector<std::function<LSinkRef(const char*)>> makers = {
        [](const char* p) { return LWaveFile::OpenSinkPCM(p, 8000, 16, 2); },
        [](const char* p) { return LWaveOpenSink(p, LWaveFileFormat(8000, 2, "ULAW")); },
        [](const char* p) { return LAuFile::OpenSink(p, 8000, 2); },  // AIFF's sink too
        [](const char* p) { return LSinkRef(new LGSMFileSink(p)); }};
    for (size_t i = 0; i < makers.size(); ++i) {
        const std::string path = dir + "/out" + std::to_string(i);
        LSinkRef sink = makers[i](path.c_str());
        Feed(*sink, std::vector<int32_t>(7999, 0x12340));
        ASSERT_FALSE(sink->IsUnusable()) << i;
        ASSERT_EQ(SpoilOpenFile(path, O_RDONLY), 1) << i;
        EXPECT_EQ(sink->Finish(nullptr), LPROCESS_FAILED) << i;
        EXPECT_TRUE(sink->IsUnusable()) << i;
    }
}
#endif

// Past the RIFF limit (lowered here) the file goes on as RF64: we, ffmpeg and sox read it all.
TEST(FileSinks, WavContinuesAsRF64) {
    const std::string path = ScratchDir() + "/long.wav";
    const std::vector<int16_t> pcm = Sine(8000, 2, 30001, 441, 12000);
    {
        LSNKPCM16File sink(path.c_str(), 8000, 0, 2);
        sink.rf64From = 40000;
        Feed(sink, Internal(pcm), 7777);
        ASSERT_EQ(sink.Finish(nullptr), LPROCESS_OK);
    }
    const Bytes bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 82u + 30001 * 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RF64");
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "ds64");
    EXPECT_EQ(ReadAll16(*LWaveFile::OpenSource(path.c_str())), pcm);
    for (const char* peer : {"ffmpeg", "sox"})
        EXPECT_EQ(PeerDecode(peer, path).samples, pcm) << peer;
}
