// Ripping speed from the emulated CD drive into WAV files, as a multiple of real time (goal 100x),
// in one read (0) and securely (1: two passes, so about half as fast).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cd/rip.h"
#include "convert/gensink.h"
#include "store/settingnames.h"
#include "tests/support/fakecd.h"
#include "tests/support/fakeprogress.h"

static void BM_RipDiscToWav(benchmark::State& state) {
    // About 9.5 minutes of audio: the long tracks scaled 30 times.
    static const testutil::DiscImage disc = testutil::MakeTestDisc(0, 30);
    testutil::FakeCDDrive drive(disc);
    const std::string dir = std::filesystem::temp_directory_path() / "tamber-cd-bench";
    std::filesystem::create_directories(dir);
    setenv("TAMBER_HOME", dir.c_str(), 1);  // settings of its own
    SettingsWrite(kSecureRip, state.range(0) != 0);
    testutil::FakeProgress dlg;
    for (auto _ : state) {
        for (int t = 0; t < disc.Tracks(); ++t) {
            LCDROMRipTrack rec{0, uint8_t(t), {}};
            LGenSinkOpenSink(rec.sink, (dir + "/" + std::to_string(t) + ".wav").c_str(), 44100, 2);
            if (LRipTrack(&dlg, &rec) != LPROCESS_OK) state.SkipWithError("rip failed");
        }
    }
    // Seconds of CD audio ripped per second.
    state.counters["x_realtime"] = benchmark::Counter(
        double(disc.starts.back()) / 75.0, benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove_all(dir);
}

BENCHMARK(BM_RipDiscToWav)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

BENCHMARK_MAIN();
