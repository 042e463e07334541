// The headless tamber program as a user runs it, against its peers in the same run: a batch of
// 8 one-minute files with "-jobs 1" and with the default jobs (to MP3 through lame, and to
// 48 kHz WAV), and a 10-minute same-format WAV copy against dd bs=1M. Prints the ratios.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "bench/support/benchutil.h"

namespace {

namespace fs = std::filesystem;

std::string g_dir;
std::map<std::string, double> g_seconds;

void Shell(benchmark::State& state, const std::string& cmd) {
    for (auto _ : state) {
        // Every run starts without outputs, so no overwrite rule comes into play.
        fs::remove_all(g_dir + "/out");
        if (std::system(cmd.c_str()) != 0) state.SkipWithError(("failed: " + cmd).c_str());
    }
}

std::string Tamber(const std::string& args) {
    return "cd '" + g_dir + "' && TAMBER_HOME=home '" TAMBER_CLI "' " + args +
           " -outfolder out -convert 2>/dev/null";
}

const char* kBatch = "b1.wav b2.wav b3.wav b4.wav b5.wav b6.wav b7.wav b8.wav";

class Reporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                g_seconds[r.benchmark_name().substr(0, r.benchmark_name().find('/'))] =
                    r.GetAdjustedRealTime() / 1000.0;
        ConsoleReporter::ReportRuns(runs);
    }
};

void Ratio(const char* what, const char* a, const char* b) {
    if (g_seconds.count(a) && g_seconds.count(b))
        std::printf("%-52s %6.3f / %6.3f s = %.2f\n", what, g_seconds[a], g_seconds[b],
                    g_seconds[a] / g_seconds[b]);
}

void Register(const char* name, std::string cmd, int iterations) {
    benchmark::RegisterBenchmark(name, [cmd](benchmark::State& s) { Shell(s, cmd); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(iterations);
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("TAMBER_BENCH_DIR");
    g_dir = dir ? dir : (fs::temp_directory_path() / "tamber-headless-bench").string();
    fs::create_directories(g_dir);
    benchutil::MakeMusicWav(g_dir + "/in10.wav", 10);
    benchutil::MakeMusicWav(g_dir + "/b1.wav", 1);
    for (int i = 2; i <= 8; ++i)
        fs::copy_file(g_dir + "/b1.wav", g_dir + "/b" + std::to_string(i) + ".wav",
                      fs::copy_options::overwrite_existing);
    std::system(("cat '" + g_dir + "'/*.wav > /dev/null").c_str());  // warm cache

    Register("Mp3Jobs1", Tamber("-format .mp3 -jobs 1 " + std::string(kBatch)), 2);
    Register("Mp3JobsDefault", Tamber("-format .mp3 " + std::string(kBatch)), 2);
    Register("To48kJobs1",
             Tamber("-settings .wav PCM 48000 2 -format .wav -jobs 1 " + std::string(kBatch)), 3);
    Register("To48kJobsDefault",
             Tamber("-settings .wav PCM 48000 2 -format .wav " + std::string(kBatch)), 3);
    Register("HeadlessCopy", Tamber("-settings .wav PCM 44100 2 -format .wav in10.wav"), 5);
    Register("DdCopy",
             "mkdir -p '" + g_dir + "/out' && dd if='" + g_dir + "/in10.wav' of='" + g_dir +
                 "/out/in10.wav' bs=1M status=none",
             5);
    benchmark::Initialize(&argc, argv);
    Reporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);

    std::printf("\n%u processors; load average at the end: ", std::thread::hardware_concurrency());
    std::fflush(stdout);
    std::system("cut -d' ' -f1-3 /proc/loadavg");
    Ratio("8 x 1 min to MP3: -jobs 1 / default (goal >= 1.8)", "Mp3Jobs1", "Mp3JobsDefault");
    Ratio("8 x 1 min to 48 kHz: -jobs 1 / default (goal >= 1.8)", "To48kJobs1", "To48kJobsDefault");
    Ratio("10 min WAV copy: tamber / dd bs=1M (goal <= 1.5)", "HeadlessCopy", "DdCopy");
    fs::remove_all(g_dir + "/out");
    return 0;
}
