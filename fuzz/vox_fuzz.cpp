// Fuzzes the VOX decoder through its file source (pending nibbles, odd read sizes) and the encoder.
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
    const char* path = FuzzFile("vox", data, size);
    if (!path) return 0;
    LSRCVOX src(path, 8000);
    if (src.GetError() != LSRC_OK) return 0;
    static std::vector<int32_t> buf(LSOUND_BLOCK_FRAMES);
    for (size_t i = 0; i < size && i < 64 && src.GetPosition() < src.GetEndSample(); ++i)
        src.Read(buf.data(), 1 + data[i] % 97);
    FuzzExercise(src);
    return 0;
}
