// Little-endian field helpers for RIFF/WAV headers and wave format records.
#pragma once

#include <cstdint>

inline uint32_t LoadLE16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
inline uint32_t LoadLE32(const uint8_t* p) {
    return LoadLE16(p) | LoadLE16(p + 2) << 16;
}
inline void StoreLE16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    StoreLE16(p, v & 0xFFFF);
    StoreLE16(p + 2, v >> 16);
}
