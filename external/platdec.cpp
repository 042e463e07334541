// The temporary WAV file of the platform decoders: provisional header, appends, final sizes.
#include "external/platdec.h"

#include <cstdio>
#include <cstring>

#include "support/byteorder.h"
#include "support/fileops.h"
#include "support/trace.h"

void LPcmFormat(uint8_t* f, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign) {
    StoreLE16(f, 1);
    StoreLE16(f + 2, channels);
    StoreLE32(f + 4, rate);
    StoreLE32(f + 8, uint32_t(blockAlign) * rate);
    StoreLE16(f + 12, blockAlign);
    StoreLE16(f + 14, bits);
    StoreLE16(f + 16, 0);
}

bool LDecodedWav::Create(const char* path, const uint8_t* format, uint16_t extraBytes) {
    Abandon();
    std::snprintf(path_, sizeof path_, "%s", path);
    extra_ = extraBytes;
    data_ = 0;
    full_ = false;
    if (!file_.Create(path)) return false;
    uint8_t head[20];
    std::memcpy(head, "RIFF\xFF\xFF\xFF\xFFWAVEfmt ", 16);
    StoreLE32(head + 16, 18);
    uint8_t tail[8];
    std::memcpy(tail, "data\xFF\xFF\xFF\xFF", 8);
    const int32_t fmtBytes = 18 + extraBytes;
    if (file_.Write(head, 20) != 20 || file_.Write(format, fmtBytes) != fmtBytes ||
        file_.Write(tail, 8) != 8) {
        Abandon();
        return false;
    }
    return true;
}

bool LDecodedWav::Append(const void* bytes, uint32_t count) {
    if (full_ || !file_.IsOpen()) return false;
    const uint64_t now = data_.load();
    if (now + count + extra_ + 38 > limit) {
        LTrace("LDecodedWav decoded data passes the largest WAV file");
        full_ = true;
        return false;
    }
    if (count && file_.Write(bytes, int32_t(count)) != int32_t(count)) {
        full_ = true;
        return false;
    }
    data_ = now + count;
    return true;
}

bool LDecodedWav::Finish() {
    if (!file_.IsOpen()) return false;
    const uint32_t data = uint32_t(data_.load());
    uint8_t b[4];
    bool ok = true;
    StoreLE32(b, data + extra_ + 38);
    ok = ok && file_.Seek(4) && file_.Write(b, 4) == 4;
    StoreLE32(b, 18u + extra_);
    ok = ok && file_.Seek(16) && file_.Write(b, 4) == 4;
    StoreLE32(b, data);
    ok = ok && file_.Seek(20 + 18 + extra_ + 4) && file_.Write(b, 4) == 4;
    file_.Close();
    if (!ok) LDeleteFile(path_);
    path_[0] = 0;
    return ok;
}

void LDecodedWav::Abandon() {
    if (!file_.IsOpen()) return;
    file_.Close();
    LDeleteFile(path_);
    path_[0] = 0;
}
