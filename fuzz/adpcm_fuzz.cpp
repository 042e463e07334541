// Fuzzes every codec-layer decoder with an arbitrary format record and data.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/acm_codec.h"

constexpr uint16_t kTags[] = {
    LWAVE_FORMAT_IMA_ADPCM,  LWAVE_FORMAT_ADPCM,      LWAVE_FORMAT_ALAW,
    LWAVE_FORMAT_MULAW,      LWAVE_FORMAT_GSM610,     LWAVE_FORMAT_PCM,
    LWAVE_FORMAT_IEEE_FLOAT, LWAVE_FORMAT_EXTENSIBLE, LWAVE_FORMAT_MPEGLAYER3};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7) return 0;
    // Record: tag choice, channels, block align, bits, extra size, then the extra bytes.
    std::vector<uint8_t> record(18 + 255, 0);
    auto* f = reinterpret_cast<LWaveFormatEx*>(record.data());
    f->wFormatTag = kTags[data[0] % (sizeof kTags / sizeof kTags[0])];
    f->nChannels = uint16_t(1 + data[1] % 3);
    f->nSamplesPerSec = (data[4] & 0x80) ? 44100 : 8000;
    f->nAvgBytesPerSec = 4000;
    f->nBlockAlign = uint16_t(data[2] | (data[3] << 8));
    f->wBitsPerSample = data[4];
    f->cbSize = data[5];
    const size_t pos = 6 + std::min<size_t>(f->cbSize, size - 6);
    std::memcpy(record.data() + 18, data + 6, pos - 6);

    LWaveFormatEx pcm = LAcmPCM16Format(f->nChannels, f->nSamplesPerSec);
    std::unique_ptr<LAcmStream> s(LAcmStreamOpen(f, &pcm, 0));
    if (!s) return 0;
    uint32_t dstCap = uint32_t(pcm.nBlockAlign) * 8192;
    uint32_t srcCap = s->SourceSizeFor(dstCap);
    if (srcCap == 0) return 0;
    if (srcCap > (1u << 20)) __builtin_trap();  // a codec must not ask for absurd buffers
    std::vector<uint8_t> src(srcCap), dst(dstCap);
    if (!s->Prepare(src.data(), srcCap, dst.data(), dstCap)) return 0;
    const uint8_t *in = data + pos, *end = data + size;
    uint32_t valid = 0;
    for (int rounds = 0; rounds < 10000; ++rounds) {
        const uint32_t take = uint32_t(std::min<size_t>(size_t(end - in), srcCap - valid));
        std::memcpy(src.data() + valid, in, take);
        in += take;
        valid += take;
        uint32_t used = 0, produced = 0;
        uint32_t flags = in == end ? LACM_CONVERT_END : LACM_CONVERT_BLOCKALIGN;
        if (!s->Convert(valid, flags, &used, &produced)) used = valid < 4 ? valid : valid / 4;
        if (used > valid || produced > dstCap) __builtin_trap();
        std::memmove(src.data(), src.data() + used, valid - used);
        valid -= used;
        if (in == end && (produced == 0 || valid == 0)) break;
    }
    s->Unprepare();
    s->Close();
    return 0;
}
