// Fuzzes the VOX decoder through its file source (pending nibbles, odd reads) and the encoder.
#include <cstring>

#include "formats/vox.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LVoxCodec codec;
    for (size_t off = 0; off + 4 <= size; off += 4) {
        int32_t x;
        std::memcpy(&x, data + off, 4);
        codec.Encode(x);
    }
    return FuzzSource("vox", data, size,
                      [](const char* p) { return LSourceRef(new LSRCVOX(p, 8000)); });
}
