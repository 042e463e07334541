// 60 s of 44.1 kHz stereo to 48 kHz in memory, with or without limiter, wide or portable vectors.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/support/benchutil.h"
#include "core/adapt.h"
#include "core/convert_rate.h"

namespace {

constexpr int32_t kRate = 44100, kSeconds = 60;

// Five seconds of music played in a loop.
class LoopSource : public LSoundSourceBase {
  public:
    explicit LoopSource(int32_t frames) : LSoundSourceBase(kRate, 2, 0x7FFF0), end_(frames) {}
    void Read(int32_t* buffer, int32_t n) override {
        static const std::vector<int32_t> m = benchutil::Music(0, kRate * 5);
        const int32_t loop = int32_t(m.size() / 2);
        for (int32_t part; n > 0; n -= part, pos_ += part, buffer += 2 * size_t(part)) {
            part = std::min(n, loop - pos_ % loop);
            const size_t bytes = sizeof(int32_t) * 2 * size_t(part);
            if (pos_ >= end_) std::memset(buffer, 0, bytes);  // silence past the end
            if (pos_ < end_) std::memcpy(buffer, m.data() + 2 * size_t(pos_ % loop), bytes);
        }
    }
    int32_t GetPosition() override { return pos_; }
    int32_t GetEndSample() override { return end_; }

  private:
    int32_t pos_ = 0, end_;
};

void Run(benchmark::State& state, bool limit, bool wide) {
    LSRCConvertRate::allowWideVectors = wide;
    std::vector<int32_t> out(size_t(LSOUND_BLOCK_FRAMES) * 2);
    for (auto _ : state) {
        LSourceRef src(new LoopSource(kRate * kSeconds));
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

}  // namespace

BENCHMARK_CAPTURE(Run, RateWide, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, RateNarrow, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, RateLimitWide, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, RateLimitNarrow, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
