// Helpers shared by the benchmark programs: the music-like input, shell contenders, ratios.
#include "bench/support/benchutil.h"

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <vector>

#include "formats/wav.h"

namespace benchutil {

std::vector<int32_t> Music(int64_t first, int32_t n) {
    std::vector<int32_t> v(2 * size_t(n));
    uint32_t seed = uint32_t(first) * 2654435761u + 1;
    for (int32_t i = 0; i < n; ++i) {
        const double t = double(first + i) / 44100.0, w = 2 * std::numbers::pi;
        seed = seed * 1664525u + 1013904223u;
        const double x = 0.4 * std::sin(w * 440 * t) + 0.3 * std::sin(w * 1234 * t) +
                         0.05 * (double(seed >> 16) / 32768.0 - 1.0);
        v[2 * size_t(i)] = int32_t(std::lround(x * 0x7FFF0));
        v[2 * size_t(i) + 1] = -v[2 * size_t(i)];
    }
    return v;
}

void MakeMusicWav(const std::string& path, int minutes) {
    if (std::filesystem::exists(path)) return;
    LSinkRef sink = LWaveFile::OpenSinkPCM(path.c_str(), 44100, 16, 2);
    for (int64_t f = 0, frames = int64_t(minutes) * 60 * 44100; f < frames; f += 8192) {
        const int32_t n = int32_t(std::min<int64_t>(8192, frames - f));
        sink->Write(Music(f, n).data(), n);
    }
}

// Processor seconds of the finished children: steadier than wall time on a busy machine.
static double ChildrenCpu() {
    struct rusage ru = {};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void RegisterShell(const std::string& name, const std::string& command, int iterations,
                   const std::string& before) {
    auto body = [command, before](benchmark::State& state) {
        double cpu = 0;
        for (auto _ : state) {
            state.PauseTiming();
            if (!before.empty()) std::system(before.c_str());
            const double c0 = ChildrenCpu();
            state.ResumeTiming();
            if (std::system(command.c_str()) != 0)
                state.SkipWithError(("failed: " + command).c_str());
            cpu += ChildrenCpu() - c0;
        }
        state.counters["cpu_s"] = cpu / double(state.iterations());
    };
    benchmark::RegisterBenchmark(name.c_str(), body)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(iterations);
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& r : runs)
        if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
            const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
            seconds_[name] = r.GetAdjustedRealTime() / 1000.0;
            if (r.counters.count("cpu_s")) cpu_[name] = r.counters.at("cpu_s");
        }
    ConsoleReporter::ReportRuns(runs);
}

void RatioReporter::Ratio(const char* what, const char* a, const char* b) const {
    auto x = seconds_.find(a), y = seconds_.find(b);
    if (x == seconds_.end() || y == seconds_.end()) return;
    const double ca = cpu_.count(a) ? cpu_.at(a) : 0, cb = cpu_.count(b) ? cpu_.at(b) : 0;
    std::printf("%-50s wall %6.3f / %6.3f s = %.2f   cpu %6.3f / %6.3f s = %.2f\n", what, x->second,
                y->second, x->second / y->second, ca, cb, cb > 0 ? ca / cb : 0.0);
}

}  // namespace benchutil
