// Codec-layer entry for WAV data that is not 8/16-bit PCM: the decoding source over the codec
// layer, given the record exactly as the "fmt " chunk held it.
#include <cstring>

#include "formats/acm.h"
#include "formats/wav.h"

LSoundSourceBase* LWaveOpenCodecSource(LFile&& file, const LWaveFormatRecord& format,
                                       int64_t dataSize) {
    // The record always carries its 18 bytes; shorter input counts as no extra bytes.
    std::vector<uint8_t> record(format.bytes);
    if (record.size() < 18) record.resize(18, 0);
    uint16_t extra = uint16_t(record.size() - 18);
    std::memcpy(record.data() + 16, &extra, 2);
    return new LSRCACMWave(std::move(file), reinterpret_cast<const LWaveFormatEx*>(record.data()),
                           dataSize);
}
