// Fuzzes the whole MP3 reader: stream analysis, frame loop, reading and seeking.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/mp3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LMP3Source src(data, int64_t(size));
    if (src.GetError() != LSRC_OK) return 0;
    std::vector<int32_t> block(size_t(2048) * src.GetChannels());
    // Bounded: a few blocks, whatever the length claims.
    for (int i = 0; i < 12 && src.GetPosition() < src.GetEndSample(); ++i)
        src.Read(block.data(), 2048);
    const int32_t end = src.GetEndSample();
    src.Seek(end / 2 + 5);
    src.Read(block.data(), 1000);
    src.Seek(-100);
    src.Read(block.data(), 200);
    return 0;
}
