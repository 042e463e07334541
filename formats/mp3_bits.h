// MSB-first bit reader over a byte buffer; bits past the end of the buffer read as zeros.
#pragma once

#include <cstdint>

class MP3BitReader {
  public:
    MP3BitReader() = default;
    MP3BitReader(const uint8_t* data, int32_t size, int64_t startBit = 0) {
        Reset(data, size, startBit);
    }

    void Reset(const uint8_t* data, int32_t size, int64_t startBit) {
        data_ = data;
        size_ = size;
        bytePos_ = int32_t(startBit >> 3);
        cache_ = 0;
        count_ = 0;
        Refill();
        Skip(int(startBit & 7));
    }

    // Keeps at least 57 bits in the cache.
    void Refill() {
        if (count_ > 56) return;
        if (bytePos_ >= 0 && bytePos_ + 8 <= size_) {
            const uint8_t* p = data_ + bytePos_;
            const uint64_t v = (uint64_t(p[0]) << 56) | (uint64_t(p[1]) << 48) |
                               (uint64_t(p[2]) << 40) | (uint64_t(p[3]) << 32) |
                               (uint64_t(p[4]) << 24) | (uint64_t(p[5]) << 16) |
                               (uint64_t(p[6]) << 8) | uint64_t(p[7]);
            const int take = (64 - count_) >> 3;  // whole bytes that fit
            cache_ |= (v >> (64 - take * 8)) << (64 - count_ - take * 8);
            bytePos_ += take;
            count_ += take * 8;
            return;
        }
        while (count_ <= 56) {
            const uint8_t b = (bytePos_ >= 0 && bytePos_ < size_) ? data_[bytePos_] : 0;
            cache_ |= uint64_t(b) << (56 - count_);
            ++bytePos_;
            count_ += 8;
        }
    }

    // The next n bits (1..32) without consuming them; the cache must hold them.
    uint32_t Peek(int n) const { return uint32_t(cache_ >> (64 - n)); }
    void Skip(int n) {
        cache_ = n >= 64 ? 0 : cache_ << n;
        count_ -= n;
    }
    int Available() const { return count_; }

    // Reads n bits (0..32).
    uint32_t Get(int n) {
        if (n <= 0) return 0;
        if (count_ < n) Refill();
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    uint32_t Get1() { return Get(1); }
    // Reads one bit when `take` is 1 and none when it is 0 (a sign that exists only for
    // non-zero values), without a branch.
    uint32_t GetIf(uint32_t take) {
        const uint32_t v = uint32_t(cache_ >> 63) & take;
        cache_ <<= take;
        count_ -= int(take);
        return v;
    }
    // Reads n bits (1..32) that the cache is known to hold (after Refill, up to 57 in all).
    uint32_t GetCached(int n) {
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }

    // Bits consumed since the start of the buffer.
    int64_t Position() const { return int64_t(bytePos_) * 8 - count_; }

  private:
    const uint8_t* data_ = nullptr;
    int32_t size_ = 0;
    int32_t bytePos_ = 0;
    uint64_t cache_ = 0;
    int count_ = 0;
};
