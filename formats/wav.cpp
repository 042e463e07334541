// WAV reader: the RIFF chunk walk and LWaveFile::OpenSource.
#include "formats/wav.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "support/byteorder.h"
#include "support/chunks.h"
#include "support/trace.h"

namespace {

bool ReadExact(LFile& file, void* buffer, int32_t bytes) {
    return file.Read(buffer, bytes) == bytes;
}

// Steps over every chunk but `wanted`; false when none is left or a chunk size cannot be
// stepped over.
bool FindChunk(LChunkWalker& walk, const char* wanted, LChunk& chunk, const char* missingText) {
    while (walk.Next(chunk)) {
        if (std::memcmp(chunk.id, wanted, 4) == 0) return true;
        if (walk.Malformed()) {
            LTrace("LWaveFile::OpenSource subchunk too short (< 0)!");
            return false;
        }
    }
    LTrace(missingText);
    return false;
}

}  // namespace

bool LWaveReadDataSize(LFile& file, int64_t dataStart, uint32_t& size) {
    const int64_t at = file.Tell();
    uint8_t field[4];
    const bool got = dataStart >= 4 && file.Seek(dataStart - 4) && ReadExact(file, field, 4);
    if (at >= 0) file.Seek(at);
    if (got) size = LoadLE32(field);
    return got;
}

void LWaveMakePCMHeader(uint8_t* h, int channels, int32_t sampleRate, int bytesPerSample,
                        uint32_t riffSize, uint32_t dataSize) {
    const uint32_t blockAlign = uint32_t(channels) * uint32_t(bytesPerSample);
    std::memcpy(h, "RIFF", 4);
    StoreLE32(h + 4, riffSize);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    StoreLE32(h + 16, 18);
    StoreLE16(h + 20, 1);
    StoreLE16(h + 22, uint32_t(channels));
    StoreLE32(h + 24, uint32_t(sampleRate));
    StoreLE32(h + 28, uint32_t(sampleRate) * blockAlign);
    StoreLE16(h + 32, blockAlign);
    StoreLE16(h + 34, uint32_t(bytesPerSample) * 8);
    StoreLE16(h + 36, 0);
    std::memcpy(h + 38, "data", 4);
    StoreLE32(h + 42, dataSize);
}

uint8_t LWaveReadHeader(LFile& file, LWaveDataInfo& info) {
    // Junk chunks may come before the RIFF form; RF64 and BW64 take their sizes from "ds64".
    LFileBytes bytes(file);
    LChunkWalker walk(bytes);
    switch (walk.Start()) {
        case LChunkStart::Ok:
            break;
        case LChunkStart::ShortJunk:
            LTrace("LWaveFile::OpenSource chunk too short!");
            return LSRC_ERR_INVALID;
        case LChunkStart::NoDs64:
            LTrace("LWaveFile::OpenSource 'ds64' chunk not found!");
            return LSRC_ERR_INVALID;
        default:
            LTrace("LWaveFile::OpenSource No RIFF WAVE chunk found");
            return LSRC_ERR_INVALID;
    }

    LChunk chunk;
    if (!FindChunk(walk, "fmt ", chunk, "LWaveFile::OpenSource 'fmt ' subchunk not found!"))
        return LSRC_ERR_INVALID;
    const uint32_t size = chunk.stored;
    if (size < 16 || size > 8192) {
        LTrace("LWaveFile::OpenSource fmt too short or too long!");
        return LSRC_ERR_INVALID;
    }
    uint8_t body[8192];
    if (!file.Seek(chunk.body) || !ReadExact(file, body, int32_t(size))) {
        LTrace("LWaveFile::OpenSource fmt error!");
        return LSRC_ERR_INVALID;
    }
    LWaveFormatRecord& f = info.format;
    f.formatTag = LoadLE16(body);
    f.channels = LoadLE16(body + 2);
    f.sampleRate = LoadLE32(body + 4);
    f.avgBytesPerSec = LoadLE32(body + 8);
    f.blockAlign = LoadLE16(body + 12);
    f.bitsPerSample = LoadLE16(body + 14);
    f.extraSize = 0;
    if (size >= 18) {
        const uint32_t present = size - 18;
        const uint32_t declared = LoadLE16(body + 16);
        f.extraSize = uint16_t(declared < present ? declared : present);
    }
    f.bytes.assign(18 + size_t(f.extraSize), 0);
    std::memcpy(f.bytes.data(), body, 16);
    StoreLE16(f.bytes.data() + 16, f.extraSize);
    if (f.extraSize) std::memcpy(f.bytes.data() + 18, body + 18, f.extraSize);

    if (!FindChunk(walk, "data", chunk, "LWaveFile::OpenSource 'data' subchunk not found!"))
        return LSRC_ERR_INVALID;
    if (chunk.size > uint64_t(INT64_MAX)) {
        LTrace("LWaveFile::OpenSource 'ds64' data size is invalid");
        return LSRC_ERR_INVALID;
    }
    info.dataSize = int64_t(chunk.size);
    info.dataStart = chunk.body;
    if (!file.Seek(info.dataStart)) return LSRC_ERR_INVALID;

    if (f.channels < 1 || f.channels > 255 || f.sampleRate < 1 || f.sampleRate > 196000) {
        LTrace("LWaveFile::OpenSource nChannels or nSamplesPerSec is invalid");
        return LSRC_ERR_INVALID;
    }
    return LSRC_OK;
}

LSourceRef LWaveFile::OpenSource(const char* path) {
    LFile file;
    if (!file.Open(path)) {
        LTrace((std::string("LWaveFile::OpenSource Unable to Open File: ") + path).c_str());
        return LSourceRef(new LSRCNull(LSRC_ERR_OPEN));
    }
    return OpenSource(std::move(file));
}

LSourceRef LWaveFile::OpenSource(LFile&& file) {
    LWaveDataInfo info;
    if (LWaveReadHeader(file, info) != LSRC_OK) {
        file.Close();
        return LSourceRef(new LSRCNull(LSRC_ERR_INVALID));
    }
    const LWaveFormatRecord& f = info.format;
    if (f.formatTag == 1 && f.bitsPerSample >= 1 && f.bitsPerSample <= 8)
        return LSourceRef(
            new LSRCPCM8File(std::move(file), int32_t(f.sampleRate), info.dataSize, f.channels));
    if (f.formatTag == 1 && f.bitsPerSample >= 9 && f.bitsPerSample <= 16)
        return LSourceRef(
            new LSRCPCM16File(std::move(file), int32_t(f.sampleRate), info.dataSize, f.channels));
    return LSourceRef(LWaveOpenCodecSource(std::move(file), f, info.dataSize));
}
