// Ripping speed from the emulated CD drive into WAV files, as a multiple of real time (goal 100x).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cd/rip.h"
#include "convert/gensink.h"
#include "tests/support/fakecd.h"
#include "tests/support/fakeprogress.h"

namespace {

const testutil::DiscImage& Disc() {
    // About 9.5 minutes of audio: the long tracks scaled 30 times.
    static testutil::DiscImage disc = testutil::MakeTestDisc(0, 30);
    return disc;
}

double DiscSeconds() {
    return double(Disc().starts.back() - Disc().starts.front()) / 75.0;
}

double g_best = 1e30;

void BM_RipDiscToWav(benchmark::State& state) {
    testutil::FakeCDDrive drive(Disc());
    const std::string dir = std::filesystem::temp_directory_path() / "tamber-cd-bench";
    std::filesystem::create_directories(dir);
    testutil::FakeProgress dlg;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        for (int t = 0; t < Disc().Tracks(); ++t) {
            LCDROMRipTrack rec;
            rec.nTrack = uint8_t(t);
            LGenSinkOpenSink(rec.sink, (dir + "/" + std::to_string(t) + ".wav").c_str(), 44100, 2);
            if (Process(&dlg, &rec) != LPROCESS_OK) state.SkipWithError("rip failed");
        }
        g_best = std::min(
            g_best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["x_realtime"] = DiscSeconds() / g_best;
    std::filesystem::remove_all(dir);
}

BENCHMARK(BM_RipDiscToWav)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\n%.0f s of CD audio, best of 3 into WAV: %.3f s, %.0fx real time (goal 100x)\n",
                DiscSeconds(), g_best, DiscSeconds() / g_best);
    benchmark::Shutdown();
    return 0;
}
