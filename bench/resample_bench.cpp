// 60 s of 44.1 kHz stereo to 48 kHz in memory, with or without limiter, wide or portable vectors.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/support/benchutil.h"
#include "core/adapt.h"
#include "core/convert_rate.h"
#include "tests/support/soundutil.h"

constexpr int32_t kRate = 44100, kSeconds = 60;

static void Run(benchmark::State& state, bool limit, bool wide) {
    LSRCConvertRate::allowWideVectors = wide;
    static const LSourceRef music(
        new testutil::MemorySource(kRate, 2, benchutil::Music(0, kRate * kSeconds), 0x7FFF0));
    std::vector<int32_t> out(size_t(LSOUND_BLOCK_FRAMES) * 2);
    for (auto _ : state) {
        music->Seek(0);
        LSourceRef src = music;
        ConvertSourceFormat(48000, 2, src);
        if (limit) LSPPeakLimit(LSAMPLE_FULL_SCALE).OpenSource(src, src);
        const int32_t end = src->GetEndSample();
        for (int32_t done = 0; done < end; done += LSOUND_BLOCK_FRAMES)
            src->Read(out.data(), std::min(LSOUND_BLOCK_FRAMES, end - done));
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(double(kSeconds) * double(state.iterations()),
                                                      benchmark::Counter::kIsRate);
    LSRCConvertRate::allowWideVectors = true;
}

BENCHMARK_CAPTURE(Run, RateWide, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, RateNarrow, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, RateLimitWide, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, RateLimitNarrow, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
