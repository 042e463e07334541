// Decoding speed of LMP3Source against mpg123 on the same 10-minute 192 kbit/s stereo file.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/mp3.h"

namespace {

const std::string& BenchFile() {
    static const std::string path = [] {
        const std::string dir = "/tmp/tamber_mp3_bench";
        const std::string mp3 = dir + "/ten_minutes_192k.mp3";
        if (std::FILE* f = std::fopen(mp3.c_str(), "rb")) {
            std::fclose(f);
            return mp3;
        }
        std::system(("mkdir -p " + dir).c_str());
        // Ten minutes of tones and noise, so every stage of the decoder has work to do.
        const std::string cmd = "sox -q -n -r 44100 -c 2 -b 16 " + dir +
                                "/src.wav synth 600 sine 300-3000 pinknoise vol 0.5 && "
                                "lame --quiet -b 192 " +
                                dir + "/src.wav " + mp3 + " && rm -f " + dir + "/src.wav";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot make %s\n", mp3.c_str());
        return mp3;
    }();
    return path;
}

// CPU seconds (user + system) of this process, and of its finished children: the machine may
// be shared, so wall time would measure the neighbours too.
double SelfCpu() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double ChildrenCpu() {
    rusage ru;
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

double TamberSeconds() {
    const double t0 = SelfCpu();
    LMP3Source src(BenchFile().c_str());
    std::vector<int32_t> block(8192 * 2);
    int64_t sum = 0;
    while (src.GetPosition() < src.GetEndSample()) {
        src.Read(block.data(), 8192);
        sum += block[100];
    }
    benchmark::DoNotOptimize(sum);
    return SelfCpu() - t0;
}

double Mpg123Seconds() {
    const double t0 = ChildrenCpu();
    const std::string cmd = "mpg123 -q -s " + BenchFile() + " > /dev/null";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "mpg123 failed\n");
    return ChildrenCpu() - t0;
}

void BM_TamberDecode(benchmark::State& state) {
    for (auto _ : state) state.SetIterationTime(TamberSeconds());
}
BENCHMARK(BM_TamberDecode)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Mpg123Decode(benchmark::State& state) {
    for (auto _ : state) state.SetIterationTime(Mpg123Seconds());
}
BENCHMARK(BM_Mpg123Decode)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    BenchFile();
    benchmark::RunSpecifiedBenchmarks();
    // Best of three runs each, alternating.
    double ours = 1e9, peer = 1e9;
    for (int i = 0; i < 3; ++i) {
        ours = std::min(ours, TamberSeconds());
        peer = std::min(peer, Mpg123Seconds());
    }
    std::printf(
        "mp3 decode, 600 s of 192 kbit/s stereo: tamber %.3f s (%.0fx real time), "
        "mpg123 %.3f s (%.0fx); ratio tamber/mpg123 = %.2f\n",
        ours, 600 / ours, peer, 600 / peer, ours / peer);
    return 0;
}
