// The chunk walk shared by the WAV and AIFF readers and the tag code.
#include "support/chunks.h"

#include <cstring>

#include "support/byteorder.h"
#include "support/file.h"

bool LFileBytes::ReadAt(int64_t pos, void* buffer, size_t n) {
    if (pos < 0 || n > size_t(INT32_MAX)) return false;
    return file_.Seek(pos) && file_.Read(buffer, int32_t(n)) == int32_t(n);
}

int64_t LFileBytes::Size() {
    return file_.GetFileSizeBytes();
}

uint32_t LChunkWalker::Load32(const uint8_t* p) const {
    return bigEndian_ ? LoadBE32(p) : LoadLE32(p);
}

LChunkStart LChunkWalker::Start(const char* formType) {
    int64_t pos = 0;
    for (;;) {
        uint8_t top[12];
        if (!bytes_.ReadAt(pos, top, 12)) return LChunkStart::NoForm;
        wide_ = std::memcmp(top, "RF64", 4) == 0 || std::memcmp(top, "BW64", 4) == 0;
        if ((wide_ || std::memcmp(top, "RIFF", 4) == 0) && std::memcmp(top + 8, formType, 4) == 0)
            break;
        uint64_t size = LoadLE32(top + 4);
        size += size & 1;
        if (size <= 4) return LChunkStart::ShortJunk;
        pos += 8 + int64_t(size);
    }
    form_ = pos;
    next_ = pos + 12;
    if (wide_) {
        // RIFF size, data size, sample count, then a table for other chunks past 4 GiB (whose
        // sizes are not followed here).
        uint8_t head[8], ds64[24];
        if (!bytes_.ReadAt(next_, head, 8) || std::memcmp(head, "ds64", 4) != 0)
            return LChunkStart::NoDs64;
        const uint32_t size = LoadLE32(head + 4);
        if (size < 24 || int32_t(size) < 0 || !bytes_.ReadAt(next_ + 8, ds64, 24))
            return LChunkStart::NoDs64;
        ds64_ = next_ + 8;
        wideDataSize_ = LoadLE64(ds64 + 8);
        next_ += 8 + int64_t(size) + (size & 1);
    }
    return LChunkStart::Ok;
}

LChunkStart LChunkWalker::StartIff() {
    bigEndian_ = true;
    uint8_t top[12];
    if (!bytes_.ReadAt(0, top, 12) || std::memcmp(top, "FORM", 4) != 0 ||
        (std::memcmp(top + 8, "AIFF", 4) != 0 && std::memcmp(top + 8, "AIFC", 4) != 0))
        return LChunkStart::NoForm;
    form_ = 0;
    next_ = 12;
    return LChunkStart::Ok;
}

bool LChunkWalker::Next(LChunk& chunk) {
    if (malformed_ || form_ < 0) return false;
    uint8_t head[8];
    if (!bytes_.ReadAt(next_, head, 8)) return false;
    std::memcpy(chunk.id, head, 4);
    chunk.stored = Load32(head + 4);
    chunk.size = chunk.stored;
    chunk.header = next_;
    chunk.body = next_ + 8;
    if (wide_ && chunk.stored == 0xFFFFFFFF && std::memcmp(head, "data", 4) == 0)
        chunk.size = wideDataSize_;
    // A size with the top bit set (in a 32-bit field) is no size anyone writes: the walk ends
    // after this chunk, which the caller may still use (a "data" chunk being written).
    if (chunk.size > uint64_t(INT64_MAX / 2) ||
        (chunk.size == chunk.stored && int32_t(chunk.stored) < 0)) {
        malformed_ = true;
        return true;
    }
    next_ = chunk.body + int64_t(chunk.size + (chunk.size & 1));
    return true;
}

bool LChunkFixFormSize(LFile& file) {
    LFileBytes bytes(file);
    const int64_t end = bytes.Size();
    uint8_t top[12];
    if (end < 12 || !bytes.ReadAt(0, top, 12)) return true;
    const bool riff = std::memcmp(top, "RIFF", 4) == 0;
    const bool wide = std::memcmp(top, "RF64", 4) == 0 || std::memcmp(top, "BW64", 4) == 0;
    const bool iff = std::memcmp(top, "FORM", 4) == 0;
    if (wide) {
        uint8_t head[12];
        if (!bytes.ReadAt(12, head, 12) || std::memcmp(head, "ds64", 4) != 0) return true;
        uint8_t field[8];
        StoreLE64(field, uint64_t(end - 8));
        return file.Seek(20) && file.Write(field, 8) == 8;
    }
    if (!riff && !iff) return true;
    const uint32_t old = riff ? LoadLE32(top + 4) : LoadBE32(top + 4);
    // A file whose form says more than it holds is being written or damaged: not ours to mend.
    if (old == 0xFFFFFFFF || end - 8 > int64_t(0xFFFFFFFE) || end - 8 <= int64_t(old)) return true;
    uint8_t field[4];
    if (riff)
        StoreLE32(field, uint32_t(end - 8));
    else
        StoreBE32(field, uint32_t(end - 8));
    return file.Seek(4) && file.Write(field, 4) == 4;
}
