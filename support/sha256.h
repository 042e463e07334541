// SHA-256 (FIPS 180-4): the digest that identifies a downloaded file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class LSha256 {
  public:
    LSha256();
    // Adds bytes to the message.
    void Update(const void* bytes, size_t count);
    // Pads the message and writes the 32-byte digest; the object then starts a new message.
    void Final(uint8_t digest[32]);
    // Final, as 64 lower-case hexadecimal digits.
    std::string FinalHex();

  private:
    void Block(const uint8_t* block);
    uint32_t h_[8];
    uint8_t buffer_[64];
    size_t used_ = 0;
    uint64_t bytes_ = 0;
};
