// WAV copy and 48 kHz conversion through the engine against dd, sox and ffmpeg on the same file,
// and the conversion's peak memory for a 10- and a 60-minute input.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/support/benchutil.h"
#include "core/transfer.h"
#include "formats/wav.h"

namespace {

namespace fs = std::filesystem;

std::string g_dir;

std::string In(int minutes) {
    return g_dir + "/in" + std::to_string(minutes) + ".wav";
}
std::string Out() {
    return g_dir + "/out.wav";
}

// The shared music-like input.
void MakeInput(int minutes) {
    benchutil::MakeMusicWav(In(minutes), minutes);
}

// Reads a file once so that every contender starts from a warm cache.
void Warm(const std::string& path) {
    std::string cmd = "cat '" + path + "' > /dev/null";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "warming %s failed\n", path.c_str());
}

class QuietTransfer : public LProgressProcess<LPRSourceToSink> {
  public:
    explicit QuietTransfer(LPRSourceToSink* rec)
        : LProgressProcess<LPRSourceToSink>("bench", rec) {}
    void SetText(const char*, int) override {}
    void SetProgress(double) override {}
};

int Convert(const std::string& in, const std::string& out, int32_t rate) {
    LPRSourceToSink rec;
    rec.title = "bench";
    rec.source = LWaveFile::OpenSource(in.c_str());
    rec.sink = LWaveFile::OpenSinkPCM(out.c_str(), rate, 16, 2);
    QuietTransfer t(&rec);
    t.status = LPROCESS_FAILED;
    t.Run(nullptr);
    return t.status;
}

double CpuSeconds(int who) {
    struct rusage ru = {};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Processor time (user and system) per iteration, of this process or of its children: on a
// shared, busy machine it is steadier than the wall time.
void ReportCpu(benchmark::State& state, double seconds) {
    state.counters["cpu_s"] = seconds / double(state.iterations());
}

void Shell(benchmark::State& state, const std::string& cmd) {
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError(("failed: " + cmd).c_str());
    }
    ReportCpu(state, CpuSeconds(RUSAGE_CHILDREN) - before);
}

void Engine(benchmark::State& state, int32_t rate) {
    const double before = CpuSeconds(RUSAGE_SELF);
    for (auto _ : state)
        if (Convert(In(10), Out(), rate) != LPROCESS_OK) state.SkipWithError("transfer failed");
    ReportCpu(state, CpuSeconds(RUSAGE_SELF) - before);
}

void BM_EngineCopy(benchmark::State& state) {
    Engine(state, 44100);
}
void BM_DdCopy(benchmark::State& state) {
    Shell(state, "dd if='" + In(10) + "' of='" + Out() + "' bs=1M status=none");
}
void BM_SoxCopy(benchmark::State& state) {
    Shell(state, "sox '" + In(10) + "' '" + Out() + "'");
}

void BM_EngineTo48k(benchmark::State& state) {
    Engine(state, 48000);
}
void BM_SoxTo48k(benchmark::State& state) {
    Shell(state, "sox '" + In(10) + "' -r 48000 '" + Out() + "'");
}
void BM_FfmpegTo48k(benchmark::State& state) {
    Shell(state, "ffmpeg -nostdin -v error -y -i '" + In(10) + "' -ar 48000 '" + Out() + "'");
}

// Peak resident memory (KiB) of a child process that converts the file to 48 kHz.
long PeakMemoryKiB(const std::string& in) {
    const pid_t child = fork();
    if (child == 0) _exit(Convert(in, Out(), 48000) == LPROCESS_OK ? 0 : 1);
    int status = 0;
    struct rusage ru = {};
    if (child < 0 || wait4(child, &status, 0, &ru) != child || status != 0) return -1;
    return ru.ru_maxrss;
}

// Keeps each benchmark's mean wall time so that main can print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
                seconds[r.benchmark_name()] = r.GetAdjustedRealTime() / 1000.0;
                auto cpu = r.counters.find("cpu_s");
                if (cpu != r.counters.end()) cpuSeconds[r.benchmark_name()] = cpu->second;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;
};

double Find(const std::map<std::string, double>& m, const char* name) {
    for (const auto& [k, v] : m)
        if (k.rfind(name, 0) == 0) return v;
    return -1.0;
}

void Ratio(const RatioReporter& rep, const char* what, const char* a, const char* b) {
    const double x = Find(rep.seconds, a), y = Find(rep.seconds, b);
    const double cx = Find(rep.cpuSeconds, a), cy = Find(rep.cpuSeconds, b);
    if (x > 0 && y > 0)
        std::printf("%-46s wall %6.3f / %6.3f s = %.2f   cpu %6.3f / %6.3f s = %.2f\n", what, x, y,
                    x / y, cx, cy, cy > 0 ? cx / cy : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("TAMBER_BENCH_DIR");
    g_dir = dir ? dir : (fs::temp_directory_path() / "tamber-bench").string();
    fs::create_directories(g_dir);
    MakeInput(10);
    Warm(In(10));

    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("EngineCopy", BM_EngineCopy)
        ->Unit(ms)
        ->UseRealTime()
        ->Iterations(5);
    benchmark::RegisterBenchmark("DdCopy", BM_DdCopy)->Unit(ms)->UseRealTime()->Iterations(5);
    benchmark::RegisterBenchmark("SoxCopy", BM_SoxCopy)->Unit(ms)->UseRealTime()->Iterations(5);
    benchmark::RegisterBenchmark("EngineTo48k", BM_EngineTo48k)
        ->Unit(ms)
        ->UseRealTime()
        ->Iterations(3);
    benchmark::RegisterBenchmark("SoxTo48k", BM_SoxTo48k)->Unit(ms)->UseRealTime()->Iterations(3);
    benchmark::RegisterBenchmark("FfmpegTo48k", BM_FfmpegTo48k)
        ->Unit(ms)
        ->UseRealTime()
        ->Iterations(3);
    benchmark::Initialize(&argc, argv);
    RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);

    std::printf("\n10-minute 44.1 kHz stereo 16-bit WAV, warm cache:\n");
    Ratio(rep, "copy: engine / dd bs=1M (goal <= 2)", "EngineCopy", "DdCopy");
    Ratio(rep, "copy: engine / sox", "EngineCopy", "SoxCopy");
    Ratio(rep, "to 48 kHz: engine / sox -r 48000 (goal <= 0.5)", "EngineTo48k", "SoxTo48k");
    Ratio(rep, "to 48 kHz: engine / ffmpeg -ar 48000 (goal < 1)", "EngineTo48k", "FfmpegTo48k");

    if (!std::getenv("TAMBER_BENCH_NO_MEMORY")) {
        MakeInput(60);
        const long m10 = PeakMemoryKiB(In(10)), m60 = PeakMemoryKiB(In(60));
        std::printf(
            "peak memory converting to 48 kHz: 10 min %ld KiB, 60 min %ld KiB, "
            "difference %ld KiB (goal < 1024)\n",
            m10, m60, m60 - m10);
        fs::remove(In(60));
    }
    fs::remove(Out());
    return 0;
}
