// WAV reader: the RIFF chunk walk and LWaveFile::OpenSource.
#include "formats/wav.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "support/byteorder.h"
#include "support/trace.h"

namespace {

bool ReadExact(LFile& file, void* buffer, int32_t bytes) {
    return file.Read(buffer, bytes) == bytes;
}

// Moves the file position on by `bytes` from where it is.
bool Skip(LFile& file, int64_t bytes) {
    int64_t at = file.Tell();
    return at >= 0 && file.Seek(at + bytes);
}

// Reads 8-byte chunk headers, skipping every chunk but `wanted`; false when none is left or a
// chunk size is negative. On success `size` holds the wanted chunk's size.
bool FindChunk(LFile& file, const char* wanted, uint32_t& size, const char* missingText) {
    for (;;) {
        uint8_t head[8];
        if (!ReadExact(file, head, 8)) {
            LTrace(missingText);
            return false;
        }
        size = LoadLE32(head + 4);
        if (std::memcmp(head, wanted, 4) == 0) return true;
        if (int32_t(size) < 0) {
            LTrace("LWaveFile::OpenSource subchunk too short (< 0)!");
            return false;
        }
        if (!Skip(file, int64_t(size) + (size & 1))) {
            LTrace(missingText);
            return false;
        }
    }
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
    // Top level: junk chunks may come before the RIFF form.
    if (!file.Seek(0)) return LSRC_ERR_INVALID;
    bool wide = false;  // RF64 or BW64: 64-bit sizes in "ds64"
    for (;;) {
        uint8_t top[12];
        if (!ReadExact(file, top, 12)) {
            LTrace("LWaveFile::OpenSource No RIFF WAVE chunk found");
            return LSRC_ERR_INVALID;
        }
        wide = std::memcmp(top, "RF64", 4) == 0 || std::memcmp(top, "BW64", 4) == 0;
        if ((wide || std::memcmp(top, "RIFF", 4) == 0) && std::memcmp(top + 8, "WAVE", 4) == 0)
            break;
        uint64_t size = LoadLE32(top + 4);
        size += size & 1;
        if (size <= 4) {
            LTrace("LWaveFile::OpenSource chunk too short!");
            return LSRC_ERR_INVALID;
        }
        if (!Skip(file, int64_t(size) - 4)) {
            LTrace("LWaveFile::OpenSource No RIFF WAVE chunk found");
            return LSRC_ERR_INVALID;
        }
    }

    // The "ds64" chunk comes first in a 64-bit form: RIFF size, data size, sample count, then a
    // table for other chunks past 4 GiB (none is read here). Sizes of 0xFFFFFFFF defer to it.
    uint64_t wideDataSize = 0;
    if (wide) {
        uint8_t head[8], ds64[24];
        const bool found = ReadExact(file, head, 8) && std::memcmp(head, "ds64", 4) == 0;
        const uint32_t dsSize = found ? LoadLE32(head + 4) : 0;
        if (dsSize < 24 || int32_t(dsSize) < 0 || !ReadExact(file, ds64, 24) ||
            !Skip(file, int64_t(dsSize) - 24 + (dsSize & 1))) {
            LTrace("LWaveFile::OpenSource 'ds64' chunk not found!");
            return LSRC_ERR_INVALID;
        }
        wideDataSize = LoadLE64(ds64 + 8);
    }

    uint32_t size = 0;
    if (!FindChunk(file, "fmt ", size, "LWaveFile::OpenSource 'fmt ' subchunk not found!"))
        return LSRC_ERR_INVALID;
    if (size < 16 || size > 8192) {
        LTrace("LWaveFile::OpenSource fmt too short or too long!");
        return LSRC_ERR_INVALID;
    }
    uint8_t body[8192];
    if (!ReadExact(file, body, int32_t(size))) {
        LTrace("LWaveFile::OpenSource fmt error!");
        return LSRC_ERR_INVALID;
    }
    // An odd-sized chunk is followed by its pad byte.
    if ((size & 1) && !Skip(file, 1)) {
        LTrace("LWaveFile::OpenSource 'data' subchunk not found!");
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

    if (!FindChunk(file, "data", size, "LWaveFile::OpenSource 'data' subchunk not found!"))
        return LSRC_ERR_INVALID;
    info.dataSize = size;
    if (wide && size == 0xFFFFFFFF) {
        if (wideDataSize > uint64_t(INT64_MAX)) {
            LTrace("LWaveFile::OpenSource 'ds64' data size is invalid");
            return LSRC_ERR_INVALID;
        }
        info.dataSize = int64_t(wideDataSize);
    }
    info.dataStart = file.Tell();
    if (info.dataStart < 0) return LSRC_ERR_INVALID;

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
