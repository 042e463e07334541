// Shared by the format fuzzers: the input as a scratch file, and a bounded exercise of a source.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/sound.h"

// Writes the input to a per-process scratch file of that name (removed at exit); its path.
inline const char* FuzzFile(const char* name, const uint8_t* data, size_t size) {
    static struct Scratch {
        std::map<std::string, std::string> paths;
        ~Scratch() {
            for (const auto& p : paths) std::remove(p.second.c_str());
        }
    } scratch;
    std::string& path = scratch.paths[name];
    if (path.empty()) path = "/tmp/tamber-fuzz-" + std::to_string(getpid()) + "-" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return nullptr;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path.c_str();
}

// Reads a few blocks, seeks before the start, into the middle and past the end.
inline void FuzzExercise(LSoundSourceBase& src) {
    static std::vector<int32_t> buf;
    buf.resize(size_t(LSOUND_BLOCK_FRAMES) * size_t(src.GetChannels()));
    const int32_t end = src.GetEndSample();
    for (int i = 0; i < 4 && src.GetPosition() < end; ++i) src.Read(buf.data(), 8192);
    src.Seek(-17);
    src.Read(buf.data(), 100);
    src.Seek(end / 2);
    src.Read(buf.data(), 3001);
    src.Seek(int32_t(std::min<int64_t>(int64_t(end) + 5, INT32_MAX)));
    src.Read(buf.data(), 1);
}
