// Wave format records for the codec tests and whole-file decode/encode helpers.
#include "tests/support/acm_records.h"

#include <algorithm>

#include "formats/wav.h"
#include "support/byteorder.h"
#include "tests/support/soundutil.h"

namespace testutil {

static int BlockAlign(int32_t rate, int channels) {
    return 256 * channels * (rate <= 11025 ? 1 : rate <= 22050 ? 2 : 4);
}

static LWaveFileFormat Record(int32_t rate, int channels, uint16_t tag, int align, int bits,
                              int spb, int extra) {
    LWaveFileFormat f(rate, channels, "PCM");
    LWaveFormatEx& w = f.Format();
    w.wFormatTag = tag;
    w.nBlockAlign = uint16_t(align);
    w.wBitsPerSample = uint16_t(bits);
    w.nAvgBytesPerSec = uint32_t(int64_t(rate) * align / spb);
    w.cbSize = uint16_t(extra);
    StoreLE16(f.Bytes() + 18, spb);  // samples per block
    return f;
}

LWaveFileFormat ImaRecord(int32_t rate, int channels) {
    const int align = BlockAlign(rate, channels);
    return Record(rate, channels, LWAVE_FORMAT_IMA_ADPCM, align, 4,
                  (align - 4 * channels) * 2 / channels + 1, 2);
}

LWaveFileFormat MsAdpcmRecord(int32_t rate, int channels) {
    static const int16_t c1[7] = {256, 512, 0, 192, 240, 460, 392};
    static const int16_t c2[7] = {0, -256, 0, 64, 0, -208, -232};
    const int align = BlockAlign(rate, channels);
    LWaveFileFormat f = Record(rate, channels, LWAVE_FORMAT_ADPCM, align, 4,
                               (align - 7 * channels) * 2 / channels + 2, 32);
    uint8_t* x = f.Bytes() + 20;
    StoreLE16(x, 7);
    for (int i = 0; i < 7; ++i) StoreLE16(x + 2 + 4 * i, c1[i]), StoreLE16(x + 4 + 4 * i, c2[i]);
    return f;
}

LWaveFileFormat GsmRecord(int32_t rate) {
    return Record(rate, 1, LWAVE_FORMAT_GSM610, 65, 0, 320, 2);
}

std::vector<int16_t> DecodeWithReader(const std::string& path, uint8_t* error, int* channels) {
    std::vector<int16_t> out;
    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    if (error) *error = src->GetError();
    const int ch = src->GetChannels();
    if (channels) *channels = ch;
    std::vector<int32_t> buf(size_t(LSOUND_BLOCK_FRAMES) * ch);
    // Whole blocks, the last one past the end; at most 100000 of them.
    for (int32_t n = 0, before = 0;
         src->GetError() == 0 && n < 100000 && before < src->GetEndSample();
         ++n, before = src->GetPosition()) {
        src->Read(buf.data(), LSOUND_BLOCK_FRAMES);
        const int32_t real = std::clamp(src->GetEndSample() - before, 0, LSOUND_BLOCK_FRAMES);
        for (int32_t i = 0; i < real * ch; ++i) out.push_back(LSampleTo16(buf[size_t(i)]));
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
