// G.711 µ-law and A-law conversions of internal samples (16-bit value * 16), one byte each.
#pragma once

#include <cstdint>

uint8_t G711ULawCompress(int32_t x);
int32_t G711ULawExpand(uint8_t byte);
uint8_t G711ALawCompress(int32_t x);
int32_t G711ALawExpand(uint8_t byte);

// The largest magnitude either expansion produces (32256 * 16, the A-law maximum).
constexpr int32_t kG711Peak = 0x7E000;
