// Helpers shared by the benchmark programs: the music-like input file they all convert.
#include "bench/support/benchutil.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <vector>

#include "formats/wav.h"

namespace benchutil {

void MakeMusicWav(const std::string& path, int minutes) {
    if (std::filesystem::exists(path)) return;
    LSinkRef sink = LWaveFile::OpenSinkPCM(path.c_str(), 44100, 16, 2);
    std::vector<int32_t> block(2 * 8192);
    uint32_t seed = 1;
    const int64_t frames = int64_t(minutes) * 60 * 44100;
    const double twoPi = 2 * std::numbers::pi;
    for (int64_t f = 0; f < frames; f += 8192) {
        const int32_t n = int32_t(std::min<int64_t>(8192, frames - f));
        for (int32_t i = 0; i < n; ++i) {
            const double t = double(f + i) / 44100.0;
            seed = seed * 1664525u + 1013904223u;
            const double v = 0.4 * std::sin(twoPi * 440 * t) + 0.3 * std::sin(twoPi * 1234 * t) +
                             0.05 * (double(seed >> 16) / 32768.0 - 1.0);
            block[2 * i] = int32_t(std::lround(v * 0x7FFF0));
            block[2 * i + 1] = int32_t(std::lround(-v * 0x7FFF0));
        }
        sink->Write(block.data(), n);
    }
}

}  // namespace benchutil
