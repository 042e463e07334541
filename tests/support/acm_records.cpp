// Wave format records for the codec tests and whole-file decode/encode helpers.
#include "tests/support/acm_records.h"

#include <algorithm>
#include <cstring>

#include "formats/wav.h"
#include "tests/support/soundutil.h"
#include "tests/support/testutil.h"

namespace testutil {
namespace {

int BlockAlign(int32_t rate, int channels) {
    int scale = rate <= 11025 ? 1 : (rate <= 22050 ? 2 : 4);
    return 256 * channels * scale;
}

void Put16(uint8_t* p, int v) {
    p[0] = uint8_t(v), p[1] = uint8_t(unsigned(v) >> 8);
}

}  // namespace

LWaveFileFormat ImaRecord(int32_t rate, int channels) {
    LWaveFileFormat f(rate, channels, "PCM");
    LWaveFormatEx& w = f.Format();
    w.wFormatTag = LWAVE_FORMAT_IMA_ADPCM;
    w.nBlockAlign = uint16_t(BlockAlign(rate, channels));
    w.wBitsPerSample = 4;
    int spb = (w.nBlockAlign - 4 * channels) * 8 / (4 * channels) + 1;
    w.nAvgBytesPerSec = uint32_t(int64_t(rate) * w.nBlockAlign / spb);
    w.cbSize = 2;
    Put16(f.Bytes() + 18, spb);
    return f;
}

LWaveFileFormat MsAdpcmRecord(int32_t rate, int channels) {
    static const int16_t c1[7] = {256, 512, 0, 192, 240, 460, 392};
    static const int16_t c2[7] = {0, -256, 0, 64, 0, -208, -232};
    LWaveFileFormat f(rate, channels, "PCM");
    LWaveFormatEx& w = f.Format();
    w.wFormatTag = LWAVE_FORMAT_ADPCM;
    w.nBlockAlign = uint16_t(BlockAlign(rate, channels));
    w.wBitsPerSample = 4;
    int spb = (w.nBlockAlign - 7 * channels) * 2 / channels + 2;
    w.nAvgBytesPerSec = uint32_t(int64_t(rate) * w.nBlockAlign / spb);
    w.cbSize = 32;
    uint8_t* x = f.Bytes() + 18;
    Put16(x, spb);
    Put16(x + 2, 7);
    for (int i = 0; i < 7; ++i) Put16(x + 4 + 4 * i, c1[i]), Put16(x + 6 + 4 * i, c2[i]);
    return f;
}

LWaveFileFormat GsmRecord(int32_t rate) {
    LWaveFileFormat f(rate, 1, "PCM");
    LWaveFormatEx& w = f.Format();
    w.wFormatTag = LWAVE_FORMAT_GSM610;
    w.nBlockAlign = 65;
    w.wBitsPerSample = 0;
    w.nAvgBytesPerSec = uint32_t(int64_t(rate) * 65 / 320);
    w.cbSize = 2;
    Put16(f.Bytes() + 18, 320);
    return f;
}

bool WriteWavRaw(const std::string& path, const std::vector<uint8_t>& fmt,
                 const std::vector<uint8_t>& data) {
    return WriteFileBytes(path, WavBytes(fmt, data));
}

std::vector<int16_t> DecodeWithReader(const std::string& path, uint8_t* error, int* channels) {
    std::vector<int16_t> out;
    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    if (error) *error = src->GetError();
    if (channels) *channels = src->GetChannels();
    if (src->GetError() != 0) return out;
    const int ch = src->GetChannels();
    std::vector<int32_t> buf(size_t(LSOUND_BLOCK_FRAMES) * ch);
    for (int guard = 0; guard < 100000; ++guard) {
        int32_t before = src->GetPosition();
        src->Read(buf.data(), LSOUND_BLOCK_FRAMES);
        int32_t pos = src->GetPosition(), end = src->GetEndSample();
        int32_t real =
            pos >= end ? std::clamp(end - before, 0, LSOUND_BLOCK_FRAMES) : LSOUND_BLOCK_FRAMES;
        for (int32_t i = 0; i < real * ch; ++i) out.push_back(LSampleTo16(buf[size_t(i)]));
        if (pos >= end) break;
    }
    return out;
}

bool EncodeWithWriter(const std::string& path, const LWaveFileFormat& format,
                      const std::vector<int16_t>& samples) {
    LSinkRef sink = LWaveOpenSink(path.c_str(), format);
    if (!sink || sink->IsUnusable()) return false;
    Feed(*sink, Internal(samples));
    return true;
}

}  // namespace testutil
