// G.711 A-law and µ-law sample companding for the codec layer.
#include "formats/posix/g711_codec.h"

#include <array>

namespace lg711 {
namespace {

int16_t AlawExpand(uint8_t code) {
    int a = code ^ 0x55;
    int mantissa = a & 0x0F;
    int segment = (a >> 4) & 0x07;
    int t = segment == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (segment - 1);
    return int16_t((a & 0x80) ? t : -t);
}

int16_t UlawExpand(uint8_t code) {
    int u = ~code & 0xFF;
    int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
    return int16_t((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

template <int16_t (*F)(uint8_t)>
std::array<int16_t, 256> MakeTable() {
    std::array<int16_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = F(uint8_t(i));
    return t;
}

const std::array<int16_t, 256> kAlaw = MakeTable<AlawExpand>();
const std::array<int16_t, 256> kUlaw = MakeTable<UlawExpand>();

}  // namespace

int16_t AlawToLinear(uint8_t a) {
    return kAlaw[a];
}
int16_t UlawToLinear(uint8_t u) {
    return kUlaw[u];
}

uint8_t LinearToAlaw(int16_t sample) {
    int pcm = sample >> 3;  // 13-bit magnitude range
    int mask;
    if (pcm >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    static constexpr int kSegEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int seg = 0;
    while (seg < 8 && pcm > kSegEnd[seg]) ++seg;
    if (seg >= 8) return uint8_t(0x7F ^ mask);
    int a = seg << 4;
    a |= seg < 2 ? (pcm >> 1) & 0x0F : (pcm >> seg) & 0x0F;
    return uint8_t(a ^ mask);
}

uint8_t LinearToUlaw(int16_t sample) {
    int pcm = sample >> 2;  // 14-bit range
    int mask;
    if (pcm < 0) {
        pcm = -pcm;
        mask = 0x7F;
    } else {
        mask = 0xFF;
    }
    if (pcm > 8159) pcm = 8159;
    pcm += 0x21;
    static constexpr int kSegEnd[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
    int seg = 0;
    while (seg < 8 && pcm > kSegEnd[seg]) ++seg;
    if (seg >= 8) return uint8_t(0x7F ^ mask);
    int u = (seg << 4) | ((pcm >> (seg + 1)) & 0x0F);
    return uint8_t(u ^ mask);
}

}  // namespace lg711
