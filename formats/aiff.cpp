// AIFF and AIFF-C reader (COMM before SSND; PCM, float and G.711 samples) and 16-bit
// big-endian AIFF writer.
#include "formats/aiff.h"

#include <algorithm>
#include <cstring>

#include "support/byteorder.h"
#include "support/trace.h"

int32_t AIFFRateFromExtended(const uint8_t* ext) {
    // Rates from 2 upward have the exponent's high byte 0x40; anything else is no usable rate.
    const int e = ext[1];
    if (ext[0] != 0x40 || e > 30) return 0;
    const uint32_t mantissa = LoadBE32(ext + 2);
    const int shift = 30 - e;
    if (shift == 0) return int32_t(mantissa);
    uint32_t rate = shift >= 32 ? 0 : mantissa >> shift;
    if (shift <= 32 && (mantissa >> (shift - 1) & 1)) ++rate;
    return int32_t(rate);
}

void AIFFRateToExtended(int32_t rate, uint8_t* ext) {
    std::memset(ext, 0, 10);
    ext[0] = 0x40;
    if (rate <= 0) return;
    int log2 = 0;
    while ((uint32_t(rate) >> (log2 + 1)) != 0) ++log2;
    ext[1] = uint8_t(rate < 4 ? 0 : log2 - 1);
    uint32_t m = uint32_t(rate);
    while (!(m & 0x80000000u)) m <<= 1;
    StoreBE32(ext + 2, m);
}

namespace {

// Moves past the body of a chunk of `size` bytes that starts at `at`. IFF pads an odd body
// with one zero byte, and most writers (NAME, AUTH, ANNO, ID3 chunks) follow that; a writer
// that left the pad out is recognised by a chunk ID right after the body instead.
bool SkipChunkBody(LFile& file, int64_t at, int64_t size) {
    int64_t next = at + size;
    if (size & 1) {
        uint8_t peek[5];
        auto isId = [](const uint8_t* c) {
            for (int i = 0; i < 4; ++i)
                if (c[i] < 0x20 || c[i] > 0x7E) return false;
            return true;
        };
        if (file.Seek(next) && file.Read(peek, 5) == 5 && peek[0] == 0 && isId(peek + 1)) ++next;
    }
    return file.Seek(next);
}

// The sample coding of an AIFF-C compression type (case ignored), -1 for one not read here.
int32_t AifcCoding(const uint8_t* type, int sampleSize) {
    char t[5] = {};
    for (int i = 0; i < 4; ++i)
        t[i] = char(type[i] >= 'A' && type[i] <= 'Z' ? type[i] + 32 : type[i]);
    const auto pcm = [&](int32_t wide) {
        return sampleSize > 16 ? -1 : (sampleSize <= 8 ? LRAW_CODEC_PCM8S : wide);
    };
    if (!std::strcmp(t, "none") || !std::strcmp(t, "twos")) return pcm(LRAW_CODEC_PCM16BE);
    if (!std::strcmp(t, "sowt")) return pcm(LRAW_CODEC_PCM16LE);
    if (!std::strcmp(t, "fl32")) return LRAW_CODEC_FLOAT32BE;
    if (!std::strcmp(t, "fl64")) return LRAW_CODEC_FLOAT64BE;
    if (!std::strcmp(t, "ulaw")) return LRAW_CODEC_ULAW;
    if (!std::strcmp(t, "alaw")) return LRAW_CODEC_ALAW;
    return -1;
}

}  // namespace

bool AIFFFindChunk(LFile& file, const char* id, int32_t& size) {
    for (;;) {
        uint8_t head[8];
        if (file.Read(head, 8) != 8) return false;
        size = int32_t(LoadBE32(head + 4));
        if (std::memcmp(head, id, 4) == 0) return true;
        if (size < 0) return false;
        const int64_t at = file.Tell();
        if (at < 0 || !SkipChunkBody(file, at, size)) return false;
    }
}

LSourceRef AIFFOpenHeader(LFile& file) {
    uint8_t head[12];
    if (file.Read(head, 12) != 12) {
        LTrace("AIFFOpenHeader Unable to read the FORM header");
        return new LSRCNull(LSRC_ERR_INVALID);
    }
    // AIFF-C adds the compression type to COMM (its name, a text after it, is not used).
    const bool aifc = std::memcmp(head + 8, "AIFC", 4) == 0;
    if (std::memcmp(head, "FORM", 4) != 0 || (!aifc && std::memcmp(head + 8, "AIFF", 4) != 0)) {
        LTrace("AIFFOpenHeader Not an AIFF file");
        return new LSRCNull(LSRC_ERR_INVALID);
    }
    int32_t commSize = 0;
    if (!AIFFFindChunk(file, "COMM", commSize)) {
        LTrace("AIFFOpenHeader 'COMM' chunk not found");
        return new LSRCNull(LSRC_ERR_INVALID);
    }
    uint8_t comm[22];
    const int32_t need = aifc ? 22 : 18;
    const int32_t want = std::clamp<int32_t>(commSize, 0, need);
    if (want < need || file.Read(comm, want) != need) {
        LTrace("AIFFOpenHeader 'COMM' chunk too short");
        return new LSRCNull(LSRC_ERR_INVALID);
    }
    if (commSize > need) SkipChunkBody(file, file.Tell(), commSize - need);
    int32_t ssndSize = 0;
    uint8_t ssnd[8];
    if (!AIFFFindChunk(file, "SSND", ssndSize) || file.Read(ssnd, 8) != 8) {
        LTrace("AIFFOpenHeader 'SSND' chunk not found");
        return new LSRCNull(LSRC_ERR_INVALID);
    }
    const int32_t rate = AIFFRateFromExtended(comm + 8);
    const int channels = comm[1];
    const uint16_t sampleSize = LoadBE16(comm + 6);
    // Plain AIFF holds what AIFF-C calls "NONE".
    const uint8_t* type = aifc ? comm + 18 : reinterpret_cast<const uint8_t*>("NONE");
    const int32_t codec = AifcCoding(type, sampleSize);
    if (codec < 0) {
        LTrace("AIFFOpenHeader Sample size above 16 bits or compression type not read here");
        return new LSRCNull(LSRC_ERR_CODEC);
    }
    // The SSND size counts the offset and block size fields; an unfinished file may carry
    // 0xFFFFFFFF, so the data never reaches beyond the end of the file.
    const int64_t start = file.Tell(), fileSize = file.GetFileSizeBytes();
    int64_t dataBytes = std::max<int64_t>(int64_t(uint32_t(ssndSize)) - 8, 0);
    if (start >= 0 && fileSize >= 0)
        dataBytes = std::min(dataBytes, std::max<int64_t>(fileSize - start, 0));
    LSourceRef src = LRawFile::OpenDataSource(file, codec, rate, channels, dataBytes);
    return src;
}

LSourceRef LAifFile::OpenSource(const char* path) {
    LFile file;
    if (!file.Open(path)) {
        LTrace("LAifFile::OpenSource Unable to open file");
        return new LSRCNull(LSRC_ERR_OPEN);
    }
    return OpenSource(std::move(file));
}

LSourceRef LAifFile::OpenSource(LFile&& file) {
    return AIFFOpenHeader(file);
}

bool LAifFile::IsCompressedForm(const char* path) {
    LFile file;
    uint8_t head[12];
    return file.Open(path) && file.Read(head, 12) == 12 && std::memcmp(head, "FORM", 4) == 0 &&
           std::memcmp(head + 8, "AIFC", 4) == 0;
}

int32_t WriteHeaderAIFF(LRawFileDataSoundSinkBase& sink, bool final) {
    const uint64_t bytes = uint64_t(sink.GetPosition()) * uint64_t(sink.FrameSize());
    // Sizes that do not fit their fields would wrap into another, shorter file's: refused.
    if (bytes + 46 > 0xFFFFFFFFu) return -1;
    const uint32_t dataBytes = uint32_t(bytes);
    uint8_t h[54] = {};
    std::memcpy(h, "FORM", 4);
    StoreBE32(h + 4, 46 + dataBytes);
    std::memcpy(h + 8, "AIFFCOMM", 8);
    StoreBE32(h + 16, 18);
    StoreBE16(h + 20, uint16_t(sink.GetChannels()));
    StoreBE32(h + 22, uint32_t(sink.GetPosition()));
    StoreBE16(h + 26, 16);
    AIFFRateToExtended(sink.GetSampleRate(), h + 28);
    std::memcpy(h + 38, "SSND", 4);
    StoreBE32(h + 42, final ? dataBytes + 8 : 0xFFFFFFFFu);
    return sink.File().Write(h, sizeof h) == int32_t(sizeof h) ? int32_t(sizeof h) : -1;
}

LSinkRef LAifFile::OpenSink(const char* path, int32_t sampleRate, int channels) {
    return LRawFile::OpenDataSink(path, LRAW_CODEC_PCM16BE, sampleRate, channels, WriteHeaderAIFF);
}
