// CAF reader: the file header, chunk walking to 'desc' and 'data', and the sample codings.
#include "formats/caf.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/raw.h"
#include "support/byteorder.h"
#include "support/trace.h"

namespace {

// The audio description chunk ('desc'), every field big-endian.
struct Description {
    double sampleRate;
    char formatId[4];
    uint32_t flags, bytesPerPacket, framesPerPacket, channels, bits;
};
constexpr uint32_t kFlagFloat = 1, kFlagLittleEndian = 2;
constexpr int32_t kNotRead = -1;

Description ParseDescription(const uint8_t* d) {
    Description r;
    const uint64_t rateBits = uint64_t(LoadBE32(d)) << 32 | LoadBE32(d + 4);
    std::memcpy(&r.sampleRate, &rateBits, 8);
    std::memcpy(r.formatId, d + 8, 4);
    r.flags = LoadBE32(d + 12);
    r.bytesPerPacket = LoadBE32(d + 16);
    r.framesPerPacket = LoadBE32(d + 20);
    r.channels = LoadBE32(d + 24);
    r.bits = LoadBE32(d + 28);
    return r;
}

// The raw coding of the described samples, kNotRead for a format left to other decoders.
int32_t CodingOf(const Description& d) {
    const bool little = d.flags & kFlagLittleEndian;
    if (std::memcmp(d.formatId, "ulaw", 4) == 0) return LRAW_CODEC_ULAW;
    if (std::memcmp(d.formatId, "alaw", 4) == 0) return LRAW_CODEC_ALAW;
    if (std::memcmp(d.formatId, "lpcm", 4) != 0) return kNotRead;
    // One frame per packet; each sample fills whole bytes of its own.
    if (d.framesPerPacket != 1 || d.channels == 0 || d.bytesPerPacket % d.channels) return kNotRead;
    const uint32_t bytes = d.bytesPerPacket / d.channels;
    if (d.bits == 0 || d.bits > bytes * 8) return kNotRead;
    if (d.flags & kFlagFloat) {
        if (bytes == 4 && d.bits == 32) return little ? LRAW_CODEC_FLOAT32LE : LRAW_CODEC_FLOAT32BE;
        if (bytes == 8 && d.bits == 64) return little ? LRAW_CODEC_FLOAT64LE : LRAW_CODEC_FLOAT64BE;
        return kNotRead;
    }
    switch (bytes) {
        case 1:
            return LRAW_CODEC_PCM8S;
        case 2:
            return little ? LRAW_CODEC_PCM16LE : LRAW_CODEC_PCM16BE;
        case 3:
            return little ? LRAW_CODEC_PCM24LE : LRAW_CODEC_PCM24BE;
        case 4:
            return little ? LRAW_CODEC_PCM32LE : LRAW_CODEC_PCM32BE;
        default:
            return kNotRead;
    }
}

LSourceRef Fail(const char* why, uint8_t code = LSRC_ERR_INVALID) {
    LTrace(why);
    return new LSRCNull(code);
}

}  // namespace

LSourceRef CAFOpenHeader(LFile& file) {
    uint8_t head[12];
    if (file.Read(head, 8) != 8 || std::memcmp(head, "caff", 4) != 0 || LoadBE16(head + 4) != 1)
        return Fail("CAFOpenHeader Not a CAF file");
    const int64_t fileSize = file.GetFileSizeBytes();
    if (fileSize < 0) return Fail("CAFOpenHeader Unable to query the file size");
    bool described = false;
    Description desc{};
    int64_t dataBytes = -1;
    for (;;) {
        if (file.Read(head, 12) != 12) return Fail("CAFOpenHeader 'data' chunk not found");
        const int64_t size = int64_t(uint64_t(LoadBE32(head + 4)) << 32 | LoadBE32(head + 8));
        const int64_t at = file.Tell();
        const bool data = std::memcmp(head, "data", 4) == 0;
        // Only the audio data may leave its size open (-1: it runs to the end of the file), and
        // only its end may be missing (a cut file keeps what it holds).
        if (at < 0 || (size < 0 && !(data && size == -1)) || (!data && size > fileSize - at))
            return Fail("CAFOpenHeader chunk size out of range");
        if (std::memcmp(head, "desc", 4) == 0) {
            uint8_t body[32];
            if (size < 32 || file.Read(body, 32) != 32)
                return Fail("CAFOpenHeader 'desc' chunk too short");
            desc = ParseDescription(body);
            described = true;
        } else if (data) {
            uint8_t edits[4];
            if (!described) return Fail("CAFOpenHeader 'data' before 'desc'");
            if ((size >= 0 && size < 4) || file.Read(edits, 4) != 4)
                return Fail("CAFOpenHeader 'data' chunk too short");
            if (size >= 0) dataBytes = std::min(size - 4, std::max<int64_t>(fileSize - at - 4, 0));
            break;
        }
        if (!file.Seek(at + size)) return Fail("CAFOpenHeader Unable to skip a chunk");
    }
    const int64_t start = file.Tell();
    if (!(desc.sampleRate >= 1 && desc.sampleRate <= 768000) || desc.channels < 1 ||
        desc.channels > 255 || start < 0)
        return Fail("CAFOpenHeader sample rate or channel count invalid");
    const int32_t coding = CodingOf(desc);
    if (coding == kNotRead) return Fail("CAFOpenHeader Format not read here", LSRC_ERR_CODEC);
    return LRawFile::OpenDataSource(file, coding, int32_t(std::lrint(desc.sampleRate)),
                                    int(desc.channels), dataBytes);
}

LSourceRef LCafFile::OpenSource(const char* path) {
    LFile file;
    if (!file.Open(path)) {
        LTrace("LCafFile::OpenSource Unable to open file");
        return new LSRCNull(LSRC_ERR_OPEN);
    }
    return OpenSource(std::move(file));
}

LSourceRef LCafFile::OpenSource(LFile&& file) {
    return CAFOpenHeader(file);
}
