// AU reader (µ-law, 8-bit, 16-bit, A-law) and 16-bit big-endian writer.
#include "formats/au.h"

#include <algorithm>
#include <cstring>

#include "support/byteorder.h"
#include "support/file.h"
#include "support/trace.h"

namespace {

constexpr uint32_t kNotGiven = 0xFFFFFFFFu;

int32_t CodecOfEncoding(uint32_t encoding) {
    switch (encoding) {
        case 1:
            return LRAW_CODEC_ULAW;
        case 2:
            return LRAW_CODEC_PCM8S;
        case 3:
            return LRAW_CODEC_PCM16BE;
        case 27:
            return LRAW_CODEC_ALAW;
        default:
            return -1;
    }
}

int32_t WriteHeaderAU(LRawFileDataSoundSinkBase& sink, bool final) {
    const uint64_t dataBytes = uint64_t(sink.GetPosition()) * uint64_t(sink.FrameSize());
    // A size that does not fit its field would wrap into another, shorter file's: refused.
    if (final && dataBytes >= kNotGiven) return -1;
    uint8_t h[24];
    std::memcpy(h, ".snd", 4);
    StoreBE32(h + 4, 24);
    StoreBE32(h + 8, final ? uint32_t(dataBytes) : kNotGiven);
    StoreBE32(h + 12, 3);
    StoreBE32(h + 16, uint32_t(sink.GetSampleRate()));
    StoreBE32(h + 20, uint32_t(sink.GetChannels()));
    return sink.File().Write(h, sizeof h) == int32_t(sizeof h) ? int32_t(sizeof h) : -1;
}

}  // namespace

LSourceRef LAuFile::OpenSource(const char* path) {
    LFile file;
    if (!file.Open(path)) {
        LTrace("LAuFile::OpenSource Unable to open file");
        return new LSRCNull(LSRC_ERR_OPEN);
    }
    return OpenSource(std::move(file));
}

LSourceRef LAuFile::OpenSource(LFile&& file) {
    uint8_t h[24];
    if (file.Read(h, 24) != 24) {
        LTrace("LAuFile::OpenSource Header too short");
        return new LSRCNull(LSRC_ERR_INVALID);
    }
    if (std::memcmp(h, ".snd", 4) != 0) {
        LTrace("LAuFile::OpenSource Not an AU file");
        return new LSRCNull(LSRC_ERR_INVALID);
    }
    const uint32_t offset = LoadBE32(h + 4), size = LoadBE32(h + 8);
    const int32_t codec = CodecOfEncoding(LoadBE32(h + 12));
    const int32_t rate = int32_t(LoadBE32(h + 16));
    const int channels = h[23];
    if (codec < 0) {
        LTrace("LAuFile::OpenSource Unsupported encoding");
        return new LSRCNull(LSRC_ERR_CODEC);
    }
    // A data offset inside the header would read the header as samples; one past the end of
    // the file is a damaged header, not an empty sound.
    const int64_t fileSize = file.GetFileSizeBytes();
    if (offset < 24 || (fileSize >= 0 && int64_t(offset) > fileSize) || !file.Seek(offset)) {
        LTrace("LAuFile::OpenSource Invalid data offset");
        return new LSRCNull(LSRC_ERR_INVALID);
    }
    int64_t dataBytes = -1;
    if (size != kNotGiven) {
        dataBytes = size;
        if (fileSize >= 0)
            dataBytes = std::min<int64_t>(dataBytes, std::max<int64_t>(fileSize - offset, 0));
    }
    return LRawFile::OpenDataSource(file, codec, rate, channels, dataBytes);
}

LSinkRef LAuFile::OpenSink(const char* path, int32_t sampleRate, int channels) {
    return LRawFile::OpenDataSink(path, LRAW_CODEC_PCM16BE, sampleRate, channels, WriteHeaderAU);
}
