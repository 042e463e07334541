// The contract every file reader and writer keeps, run over a table of formats.

#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/gsm.h"
#include "formats/mp3.h"
#include "formats/raw.h"
#include "formats/wav.h"
#include "tests/support/acm_records.h"
#include "tests/support/kit.h"

using namespace testutil;

namespace {

struct Format {
    const char* name;
    int32_t rate;
    int channels;
    int32_t slack;  // frames the end may exceed what was written (block codecs; 0: exact)
    std::function<LSinkRef(const char*)> sink;  // null: the file is made by lame
    std::function<LSourceRef(const char*)> open;
};

// A WAV row: the PCM sink for a PCM record, the codec layer for the others.
Format Wav(const char* name, LWaveFileFormat f, int32_t slack = 0) {
    Format r{name, int32_t(f.Format().nSamplesPerSec), f.Format().nChannels, slack, {}, {}};
    r.sink = [=](const char* p) { return LWaveOpenSink(p, f); };
    r.open = [](const char* p) { return LWaveFile::OpenSource(p); };
    return r;
}
Format Raw(const char* name, int32_t rate, int ch, int32_t codec, int32_t slack = 0) {
    Format r{name, rate, ch, slack, {}, {}};
    r.sink = [=](const char* p) { return LRawFile::OpenSink(p, rate, ch, codec); };
    r.open = [=](const char* p) { return LRawFile::OpenSource(p, rate, ch, codec); };
    return r;
}

// The raw codings share one reader and writer: one row for bytes, one for nibbles.
const Format kFormats[] = {
    Wav("wav_pcm8", {8000, 1, "PCM8"}),
    Wav("wav_pcm16", {22050, 2, "PCM"}),
    Wav("wav_alaw", {22050, 2, "ALAW"}),
    Wav("wav_ima", ImaRecord(22050, 2), 1017),
    Wav("wav_msadpcm", MsAdpcmRecord(8000, 1), 500),
    Wav("wav_gsm", GsmRecord(8000), 320),
    Raw("raw_pcm16le", 11025, 2, LRAW_CODEC_PCM16LE),
    Raw("raw_pcm8u", 8000, 2, LRAW_CODEC_PCM8U),
    Raw("vox", 8000, 1, LRAW_CODEC_VOX, 1),
    {"aiff", 44100, 2, 0, [](const char* p) { return LAifFile::OpenSink(p, 44100, 2); },
     [](const char* p) { return LAifFile::OpenSource(p); }},
    {"au", 8000, 1, 0, [](const char* p) { return LAuFile::OpenSink(p, 8000, 1); },
     [](const char* p) { return LAuFile::OpenSource(p); }},
    {"gsm", 8000, 1, 160, [](const char* p) { return LSinkRef(new LGSMFileSink(p)); },
     [](const char* p) { return LSourceRef(new LGSMFileSource(p)); }},
    {"mp3", 48000, 2, 4096, nullptr, [](const char* p) { return LSourceRef(new LMP3Source(p)); }},
};

class SourceContract : public ::testing::TestWithParam<Format> {};

TEST_P(SourceContract, ReadsSeeksAndFails) {
    const Format& f = GetParam();
    const std::string dir = ScratchDir(), path = dir + "/in." + f.name;
    const int ch = f.channels;
    const int32_t frames = 20001;
    const auto written = Internal(ToneMix(f.rate, ch, frames));
    if (f.sink) {
        LSinkRef sink = f.sink(path.c_str());
        ASSERT_TRUE(sink && !sink->IsUnusable());
        Feed(*sink, written, 3001);
    } else {
        if (!HaveTool("lame")) GTEST_SKIP() << "lame missing (scripts/setup.sh installs it)";
        ASSERT_TRUE(WriteWav16(dir + "/in.wav", f.rate, ch, ToneMix(f.rate, ch, frames)));
        ASSERT_EQ(testutil::Run("lame --quiet -b 128 '" + dir + "/in.wav' '" + path + "'"), 0);
    }

    LSourceRef src = f.open(path.c_str());
    ASSERT_EQ(std::tuple(src->GetError(), src->GetSampleRate(), src->GetChannels()),
              std::tuple(LSRC_OK, f.rate, ch));
    const int32_t end = src->GetEndSample();
    // Exact, or a block codec rounds up (VOX keeps no lone last nibble).
    EXPECT_TRUE(end >= frames - (f.slack ? 1 : 0) && end <= frames + f.slack) << end;
    const std::vector<int32_t> whole = ReadToEnd(src.get());
    if (f.slack == 0 && f.sink) {
        // Lossless and G.711 writers: read back as written, to the coding's precision.
        int64_t worst = 0;
        for (size_t i = 0; i < whole.size(); ++i)
            worst = std::max<int64_t>(worst, std::llabs(int64_t(whole[i]) - written[i]));
        EXPECT_LE(worst, 0x7FFF0 / 32) << "far from what was written";
    }

    // Odd pieces from a fresh source give the same samples as whole blocks.
    LSourceRef again = f.open(path.c_str());
    std::vector<int32_t> pieces;
    for (int32_t k = 1; again->GetPosition() < end; k = k * 7 % 8191 + 1) {
        const auto part = ReadFrames(*again, std::min(k, end - again->GetPosition()));
        pieces.insert(pieces.end(), part.begin(), part.end());
    }
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(ReadFrames(*again, 100), std::vector<int32_t>(100 * ch, 0));
    EXPECT_EQ(again->GetPosition(), end + 100);

    // Back to before the start: zeros, then the first frames again.
    src->Seek(-31);
    std::vector<int32_t> primed(31 * ch, 0);
    primed.insert(primed.end(), whole.begin(), whole.begin() + 9 * ch);
    EXPECT_EQ(ReadFrames(*src, 40), primed);
    EXPECT_EQ(src->GetPosition(), 9);
    // Stateless codings and IMA's self-contained blocks land exactly anywhere, block edges too.
    for (int32_t t : {1016, 1017, 1018, end - 5}) {
        if (f.slack != 0 && std::string(f.name) != "wav_ima") break;
        src->Seek(t);
        EXPECT_EQ(ReadFrames(*src, 5),
                  std::vector<int32_t>(whole.begin() + t * ch, whole.begin() + (t + 5) * ch));
        EXPECT_EQ(src->GetPosition(), t + 5);
    }
    src->Seek(end + 100000);
    EXPECT_EQ(ReadFrames(*src, 10), std::vector<int32_t>(10 * ch, 0));

    EXPECT_EQ(f.open((dir + "/none." + f.name).c_str())->GetError(), LSRC_ERR_OPEN);  // missing
    // A file that cannot be created: a sink that says so, and takes writes without harm.
    if (f.sink) {
        LSinkRef bad = f.sink((dir + "/no/such/folder/x").c_str());
        ASSERT_TRUE(bad && bad->IsUnusable());
        bad->Write(written.data(), 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SourceContract, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
