// The running hash: four 64-bit lanes, each taking one word of every 32-byte block by a
// multiply and a rotation, folded together with the length at the end.
#include "support/streamhash.h"

#include <cstring>

namespace {

constexpr uint64_t kOdd1 = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kOdd2 = 0xC2B2AE3D27D4EB4Full;

uint64_t Rotl(uint64_t v, int bits) {
    return (v << bits) | (v >> (64 - bits));
}

// Words are taken in the machine's order: a hash is only ever compared with one made here.
uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Spreads every bit of v over the whole word.
uint64_t Mix(uint64_t v) {
    v ^= v >> 33;
    v *= kOdd2;
    v ^= v >> 29;
    v *= kOdd1;
    return v ^ (v >> 32);
}

}  // namespace

void LStreamHash::Block(const uint8_t* block) {
    for (int i = 0; i < 4; ++i)
        lanes_[i] = Rotl(lanes_[i] + Load64(block + 8 * i) * kOdd2, 31) * kOdd1;
}

void LStreamHash::Update(const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    total_ += count;
    if (held_ > 0) {
        const size_t take = count < 32 - held_ ? count : 32 - held_;
        std::memcpy(pending_ + held_, p, take);
        held_ += take, p += take, count -= take;
        if (held_ < 32) return;
        Block(pending_);
        held_ = 0;
    }
    for (; count >= 32; p += 32, count -= 32) Block(p);
    std::memcpy(pending_, p, count);
    held_ = count;
}

void LStreamHash::Final(uint8_t digest[32]) const {
    uint64_t lanes[4] = {lanes_[0], lanes_[1], lanes_[2], lanes_[3]};
    uint8_t tail[32] = {};
    std::memcpy(tail, pending_, held_);
    for (int i = 0; i < 4; ++i)
        lanes[i] = Rotl(lanes[i] + Load64(tail + 8 * i) * kOdd2, 31) * kOdd1;
    for (int i = 0; i < 4; ++i) {
        const uint64_t v = Mix(lanes[i] ^ Mix(total_ + uint64_t(i)) ^ Rotl(lanes[(i + 1) % 4], 17));
        for (int b = 0; b < 8; ++b) digest[8 * i + b] = uint8_t(v >> (8 * b));
    }
}
