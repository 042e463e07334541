// Dialogic ADPCM with a predictor that leaks 1/64 per sample; pending nibbles across calls.
#include "formats/vox.h"

#include <algorithm>
#include <cstring>

#include "support/trace.h"

namespace {

constexpr int32_t kStep[49] = {16,  17,  19,  21,  23,  25,   28,   31,   34,   37,  41,  45,  50,
                               55,  60,  66,  73,  80,  88,   97,   107,  118,  130, 143, 157, 173,
                               190, 209, 230, 253, 279, 307,  337,  371,  408,  449, 494, 544, 598,
                               658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};
constexpr int32_t kAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
// A call works through an 8 KB byte buffer: at most this many samples per chunk.
constexpr int32_t kChunkSamples = 16384;

inline int32_t Multiplier(uint8_t code) {
    const int32_t m = (2 * (code & 7) + 1) * 16;
    return (code & 8) ? -m : m;
}

}  // namespace

int32_t LVoxCodec::Decode(uint8_t code) {
    stepIndex = std::clamp(stepIndex, 0, 48);
    const int32_t s = kStep[stepIndex];
    predictor = predictor - (predictor >> 6) + s * Multiplier(code);
    stepIndex += kAdjust[code & 7];
    return predictor;
}

uint8_t LVoxCodec::Encode(int32_t x) {
    stepIndex = std::clamp(stepIndex, 0, 48);
    const int32_t s = kStep[stepIndex];
    predictor = predictor - (predictor >> 6);
    int64_t q = (int64_t(x) - predictor) / s;
    uint8_t code = 0;
    if (q < 0) {
        code = 8;
        q = -q;
    }
    if (q >= 132) {
        code |= 4;
        q -= 132;
    }
    if (q >= 66) {
        code |= 2;
        q -= 66;
    }
    if (q >= 33) code |= 1;
    predictor += s * Multiplier(code);
    stepIndex += kAdjust[code & 7];
    return code;
}

// ---- source ----

LSRCVOX::LSRCVOX(const char* path, int32_t sampleRate) : LSoundSourceBase(sampleRate, 1, 0x200000) {
    if (!file_.Open(path)) {
        LTrace("LSRCVOX::LSRCVOX Unable to open file");
        SetError(LSRC_ERR_OPEN);
    }
}

int32_t LSRCVOX::GetEndSample() {
    const int64_t size = file_.IsOpen() ? file_.GetFileSizeBytes() : -1;
    if (size < 0) return 0;
    return int32_t(std::min<int64_t>(size * 2, INT32_MAX));
}

// The stream restarts from a fresh codec state at the target (exact at the start; elsewhere
// the decoder settles within a few dozen samples), on the target's own nibble.
void LSRCVOX::Seek(int32_t sample) {
    position_ = sample;
    codec_ = LVoxCodec{};
    pending_ = false;
    if (!file_.IsOpen()) return;
    file_.Seek(sample > 0 ? sample / 2 : 0);
    if (sample > 0 && (sample & 1) && file_.Read(&pendingByte_, 1) == 1) pending_ = true;
}

void LSRCVOX::Read(int32_t* buffer, int32_t n) {
    if (n <= 0) return;
    const int64_t p = position_;
    position_ = int32_t(std::min<int64_t>(p + n, INT32_MAX));
    // Samples before the start of the stream are silence.
    if (p < 0) {
        const int32_t zeros = int32_t(std::min<int64_t>(-p, n));
        std::memset(buffer, 0, sizeof(int32_t) * size_t(zeros));
        buffer += zeros;
        n -= zeros;
    }
    while (n > 0) {
        const int32_t chunk = std::min(n, kChunkSamples);
        ReadChunk(buffer, chunk);
        buffer += chunk;
        n -= chunk;
    }
}

void LSRCVOX::ReadChunk(int32_t* out, int32_t n) {
    if (pending_) {
        *out++ = codec_.Decode(pendingByte_ & 0x0F);
        pending_ = false;
        --n;
    }
    if (n <= 0) return;
    uint8_t bytes[kChunkSamples / 2];
    const int32_t want = (n + 1) / 2;
    int32_t got = file_.IsOpen() ? file_.Read(bytes, want) : 0;
    if (got < 0) got = 0;
    for (int32_t i = 0; i < got; ++i) {
        *out++ = codec_.Decode(bytes[i] >> 4);
        if (--n == 0) {
            pendingByte_ = bytes[i];
            pending_ = true;
            return;
        }
        *out++ = codec_.Decode(bytes[i] & 0x0F);
        --n;
    }
    // Past the end of the file: silence, the codec state untouched.
    if (n > 0) std::memset(out, 0, sizeof(int32_t) * size_t(n));
}

// ---- sink ----

LSNKVOX::LSNKVOX(const char* path, int32_t sampleRate) : LSoundSinkBase(sampleRate, 1) {
    if (!file_.Create(path)) {
        LTrace("LSNKVOX::LSNKVOX Unable to create file");
        errorFlags_ |= LSNK_ERR_UNUSABLE;
    }
}

int32_t LSNKVOX::Write(const int32_t* buffer, int32_t n) {
    if (n <= 0) return 1;
    sPosition += n;
    if (!file_.IsOpen() || IsUnusable()) return 0;
    while (n > 0) {
        const int32_t chunk = std::min(n, kChunkSamples);
        if (!WriteChunk(buffer, chunk)) {
            LTrace("LSNKVOX::Write Unable to write the file");
            MarkUnusable();
            return 0;
        }
        buffer += chunk;
        n -= chunk;
    }
    return 1;
}

int LSNKVOX::Finish(LProgressDialog* dlg) {
    if (!file_.IsOpen()) MarkUnusable();
    // The last sample of an odd count goes out in the high nibble of a byte of its own (the low
    // one is a zero step).
    if (pending_ && file_.IsOpen() && !IsUnusable()) {
        const uint8_t last = pendingHigh_;
        if (file_.Write(&last, 1) != 1) MarkUnusable();
        pending_ = false;
    }
    file_.Close();
    return LSoundSinkBase::Finish(dlg);
}

int32_t LSNKVOX::WriteChunk(const int32_t* in, int32_t n) {
    uint8_t bytes[kChunkSamples / 2 + 1];
    int32_t count = 0;
    if (pending_) {
        bytes[count++] = uint8_t(pendingHigh_ | codec_.Encode(*in++));
        pending_ = false;
        --n;
    }
    for (; n >= 2; n -= 2, in += 2) {
        const uint8_t hi = codec_.Encode(in[0]);
        bytes[count++] = uint8_t(hi << 4 | codec_.Encode(in[1]));
    }
    if (n == 1) {
        pendingHigh_ = uint8_t(codec_.Encode(*in) << 4);
        pending_ = true;
    }
    return count == 0 || file_.Write(bytes, count) == count;
}
