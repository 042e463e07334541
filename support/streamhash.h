// A fast running hash of a byte stream for telling whether two streams are the same (not for
// security): the same bytes give the same value however they are split into updates.
#pragma once

#include <cstddef>
#include <cstdint>

class LStreamHash {
  public:
    void Update(const void* bytes, size_t count);
    // The value of everything given so far, as 32 bytes (the hash itself goes on unchanged).
    void Final(uint8_t digest[32]) const;

  private:
    void Block(const uint8_t* block);

    uint64_t lanes_[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                          0x082EFA98EC4E6C89ull};
    uint8_t pending_[32] = {};
    size_t held_ = 0;
    uint64_t total_ = 0;
};
