// Shared by the format fuzzers: the input in memory or as a scratch file, and a bounded exercise
// of a source.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/sound.h"
#include "support/file.h"

// Writes the input to a per-process scratch file of that name (removed at exit); its path.
inline const char* FuzzFile(const char* name, const uint8_t* data, size_t size) {
    static std::map<std::string, std::string> paths;
    [[maybe_unused]] static const int cleanup = std::atexit([] {
        for (const auto& p : paths) std::remove(p.second.c_str());
    });
    std::string& path = paths[name];
    if (path.empty()) path = "/tmp/tamber-fuzz-" + std::to_string(getpid()) + "-" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return nullptr;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path.c_str();
}

// Reads and seeks chosen by the input's last bytes, then seeks before, into and past the end.
inline void FuzzExercise(LSoundSourceBase& src, const uint8_t* data, size_t size) {
    static std::vector<int32_t> buf;
    (void)src.IsStreaming();
    buf.resize(size_t(LSOUND_BLOCK_FRAMES) * size_t(src.GetChannels()));
    uint32_t h = 2166136261u;
    for (size_t i = size > 16 ? size - 16 : 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    for (int step = 0; step < 6; ++step) {
        const int32_t end = src.GetEndSample(), before = src.GetPosition();
        if (end < 0) __builtin_trap();
        h = h * 1103515245u + 12345u;
        const int32_t n = int32_t(1 + (h >> 8) % LSOUND_BLOCK_FRAMES);
        src.Read(buf.data(), n);
        if (src.GetPosition() != std::min<int64_t>(int64_t(before) + n, INT32_MAX))
            __builtin_trap();
        h = h * 1103515245u + 12345u;
        const int32_t target =
            end > 0 ? int32_t(int64_t((h >> 4) % (uint64_t(end) + 600)) - 300) : -5;
        src.Seek(target);
        if (src.GetPosition() != target) __builtin_trap();
    }
    const int32_t end = src.GetEndSample();
    for (int i = 0; i < 4 && src.GetPosition() < end; ++i) src.Read(buf.data(), 8192);
    for (int32_t at : {-17, end / 2, int32_t(std::min<int64_t>(int64_t(end) + 5, INT32_MAX))}) {
        src.Seek(at);
        src.Read(buf.data(), 3001);
    }
}

// The input as the scratch file `name`, opened by `open` and exercised when it opens.
template <class Open>
int FuzzSource(const char* name, const uint8_t* data, size_t size, Open open) {
    const char* path = FuzzFile(name, data, size);
    if (!path) return 0;
    LSourceRef src = open(path);
    if (src->GetError() == LSRC_OK) FuzzExercise(*src, data, size);
    return 0;
}

// The input as bytes in memory, opened by `open` (a reader over an LFile) and exercised when it
// opens.
template <class Open>
int FuzzBytes(const uint8_t* data, size_t size, Open open) {
    LFile bytes;
    bytes.OpenBytes(data, size);
    LSourceRef src = open(std::move(bytes));
    if (src->GetError() == LSRC_OK) FuzzExercise(*src, data, size);
    return 0;
}
