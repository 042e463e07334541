// Fuzzes the WAV reader and every codec behind its "fmt " record, with chosen reads and seeks.
#include <algorithm>

#include "formats/wav.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = FuzzFile("wav", data, size);
    if (!path) return 0;
    LSourceRef src = LWaveFile::OpenSource(path);
    if (src->GetError() != LSRC_OK) return 0;
    (void)src->IsStreaming();
    static std::vector<int32_t> buf;
    buf.resize(size_t(LSOUND_BLOCK_FRAMES) * size_t(src->GetChannels()));
    uint32_t h = 2166136261u;
    for (size_t i = size > 16 ? size - 16 : 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    for (int step = 0; step < 6; ++step) {
        const int32_t end = src->GetEndSample();
        if (end < 0) __builtin_trap();
        h = h * 1103515245u + 12345u;
        const int32_t n = int32_t(1 + (h >> 8) % LSOUND_BLOCK_FRAMES);
        const int32_t before = src->GetPosition();
        src->Read(buf.data(), n);
        if (src->GetPosition() != std::min<int64_t>(int64_t(before) + n, INT32_MAX))
            __builtin_trap();
        h = h * 1103515245u + 12345u;
        const int32_t target =
            end > 0 ? int32_t(int64_t((h >> 4) % (uint64_t(end) + 600)) - 300) : -5;
        src->Seek(target);
        if (src->GetPosition() != target) __builtin_trap();
    }
    FuzzExercise(*src);
    return 0;
}
