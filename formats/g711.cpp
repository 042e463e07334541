// G.711 µ-law and A-law: segment search on the internal scale, expansion by formula.
#include "formats/g711.h"

namespace {

// µ-law decision thresholds and reconstruction bases per segment, in 16-bit units.
constexpr int32_t kULawThreshold[8] = {0, 124, 380, 892, 1916, 3964, 8060, 16252};
constexpr int32_t kULawBase[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};
// A-law thresholds and steps per segment, in 16-bit units.
constexpr int32_t kALawThreshold[8] = {0, 256, 512, 1024, 2048, 4096, 8192, 16384};
constexpr int32_t kALawStep[8] = {16, 16, 32, 64, 128, 256, 512, 1024};

}  // namespace

uint8_t G711ULawCompress(int32_t x) {
    const uint8_t sign = x < 0 ? 0x80 : 0;
    const int64_t mag = x < 0 ? -int64_t(x) : int64_t(x);
    int s = 7;
    while (s > 0 && int64_t(kULawThreshold[s]) * 16 > mag) --s;
    int64_t m = (mag - int64_t(kULawThreshold[s]) * 16) >> (s + 3 + 4);
    if (m > 15) m = 15;
    return uint8_t(~(sign | s << 4 | int(m)));
}

int32_t G711ULawExpand(uint8_t byte) {
    const uint8_t b = uint8_t(~byte);
    const int s = b >> 4 & 7, m = b & 15;
    const int32_t mag = (kULawBase[s] + (m << (s + 3))) * 16;
    return (b & 0x80) ? -mag : mag;
}

uint8_t G711ALawCompress(int32_t x) {
    const uint8_t sign = x >= 0 ? 0x80 : 0;
    const int64_t mag = x < 0 ? -int64_t(x) : int64_t(x);
    int s = 7;
    while (s > 0 && int64_t(kALawThreshold[s]) * 16 > mag) --s;
    int64_t m = (mag - int64_t(kALawThreshold[s]) * 16) / (int64_t(kALawStep[s]) * 16);
    if (m > 15) m = 15;
    return uint8_t((sign | s << 4 | int(m)) ^ 0x55);
}

int32_t G711ALawExpand(uint8_t byte) {
    const uint8_t b = uint8_t(byte ^ 0x55);
    const int s = b >> 4 & 7, m = b & 15;
    const int32_t mag = (s == 0 ? 8 + 16 * m : (264 + 16 * m) << (s - 1)) * 16;
    return (b & 0x80) ? mag : -mag;
}
