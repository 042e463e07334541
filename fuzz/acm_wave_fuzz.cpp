// Fuzzes compressed WAV files through the reader: codec choice from the "fmt " record, refills,
// damaged-block skipping, end detection, length estimates and seeks driven by the input.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    struct Scratch {
        std::string path = "/tmp/tamber-acm-fuzz-" + std::to_string(getpid()) + ".wav";
        ~Scratch() { std::remove(path.c_str()); }
    };
    static const Scratch scratch;
    FILE* f = std::fopen(scratch.path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    LSourceRef src = LWaveFile::OpenSource(scratch.path.c_str());
    if (src->GetError() != LSRC_OK) return 0;
    static std::vector<int32_t> buf;
    buf.resize(size_t(LSOUND_BLOCK_FRAMES) * src->GetChannels());
    // The last bytes of the input choose seek targets and read sizes.
    uint32_t h = 2166136261u;
    for (size_t i = size > 16 ? size - 16 : 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    for (int step = 0; step < 6; ++step) {
        int32_t end = src->GetEndSample();
        if (end < 0) __builtin_trap();
        h = h * 1103515245u + 12345u;
        int32_t n = int32_t(1 + (h >> 8) % LSOUND_BLOCK_FRAMES);
        int32_t before = src->GetPosition();
        src->Read(buf.data(), n);
        if (src->GetPosition() != std::min<int64_t>(int64_t(before) + n, INT32_MAX)) __builtin_trap();
        h = h * 1103515245u + 12345u;
        int32_t target = end > 0 ? int32_t(int64_t((h >> 4) % (uint64_t(end) + 600)) - 300) : -5;
        src->Seek(target);
        if (src->GetPosition() != target) __builtin_trap();
    }
    return 0;
}
