// Loads and stores of little- and big-endian fields in byte buffers (file headers, commands).
#pragma once

#include <cstdint>

inline uint16_t LoadLE16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t LoadLE64(const uint8_t* p) {
    return LoadLE32(p) | uint64_t(LoadLE32(p + 4)) << 32;
}
inline void StoreLE16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    StoreLE16(p, v);
    StoreLE16(p + 2, v >> 16);
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
    StoreLE32(p, uint32_t(v));
    StoreLE32(p + 4, uint32_t(v >> 32));
}

inline uint16_t LoadBE16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
inline uint32_t LoadBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void StoreBE16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void StoreBE32(uint8_t* p, uint32_t v) {
    StoreBE16(p, v >> 16);
    StoreBE16(p + 2, v);
}
