// G.711 A-law and µ-law sample companding (decode tables, encoders) for the codec layer.
#pragma once

#include <cstdint>

namespace lg711 {

int16_t AlawToLinear(uint8_t a);
int16_t UlawToLinear(uint8_t u);
uint8_t LinearToAlaw(int16_t pcm);
uint8_t LinearToUlaw(int16_t pcm);

}  // namespace lg711
