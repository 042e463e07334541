// Feeding an encoder through the pipe: a 10-minute WAV to MP3 through the engine and lame,
// against lame encoding the same WAV file directly, in the same run; prints the ratio.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/support/benchutil.h"
#include "core/transfer.h"
#include "external/encoders.h"
#include "formats/wav.h"

namespace {

namespace fs = std::filesystem;

std::string g_dir;

std::string In() {
    return g_dir + "/in10.wav";
}
std::string Out() {
    return g_dir + "/out.mp3";
}

// The shared music-like input.
void MakeInput() {
    benchutil::MakeMusicWav(In(), 10);
}

class QuietTransfer : public LProgressProcess<LPRSourceToSink> {
  public:
    explicit QuietTransfer(LPRSourceToSink* rec)
        : LProgressProcess<LPRSourceToSink>("bench", rec) {}
    void SetText(const char*, int) override {}
    void SetProgress(double) override {}
};

// The conversion as the program runs it: WAV reader, transfer, pipe into lame, lame's exit.
void BM_EngineThroughLame(benchmark::State& state) {
    for (auto _ : state) {
        LPRSourceToSink rec;
        rec.title = "bench";
        rec.source = LWaveFile::OpenSource(In().c_str());
        LMP3EncodeSettings s;  // CBR 128 kbit/s, high quality, joint stereo
        rec.sink = LMP3EncodePipe::OpenMp3Sink(Out().c_str(), s, 2, 44100);
        if (!rec.sink || rec.sink->IsUnusable()) {
            state.SkipWithError("lame not found");
            break;
        }
        QuietTransfer t(&rec);
        t.Run(nullptr);
        rec.sink.reset();  // closes the pipe and waits for lame
        if (t.status != LPROCESS_OK) state.SkipWithError("transfer failed");
    }
}

void BM_LameDirect(benchmark::State& state) {
    const std::string cmd = "lame -m j -b 128 -h -S '" + In() + "' '" + Out() + "'";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("lame failed");
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                seconds[r.benchmark_name()].push_back(r.GetAdjustedRealTime() / 1000.0);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::vector<double>> seconds;
};

double Find(const RatioReporter& rep, const char* name) {
    // The mean over every run of that name.
    double sum = 0;
    int count = 0;
    for (const auto& [k, v] : rep.seconds)
        if (k.rfind(name, 0) == 0)
            for (double x : v) sum += x, ++count;
    return count ? sum / count : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("TAMBER_BENCH_DIR");
    g_dir = dir ? dir : (fs::temp_directory_path() / "tamber-bench").string();
    fs::create_directories(g_dir);
    // A store of its own, so that the encoder is found on PATH.
    setenv("TAMBER_HOME", g_dir.c_str(), 1);
    MakeInput();
    std::system(("cat '" + In() + "' > /dev/null").c_str());

    const auto ms = benchmark::kMillisecond;
    // Interleaved so that a busy machine slows both contenders alike.
    for (int i = 0; i < 2; ++i) {
        benchmark::RegisterBenchmark("EngineThroughLame", BM_EngineThroughLame)
            ->Unit(ms)
            ->UseRealTime()
            ->Iterations(1);
        benchmark::RegisterBenchmark("LameDirect", BM_LameDirect)
            ->Unit(ms)
            ->UseRealTime()
            ->Iterations(1);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);

    const double x = Find(rep, "EngineThroughLame"), y = Find(rep, "LameDirect");
    if (x > 0 && y > 0)
        std::printf(
            "\n10-minute 44.1 kHz stereo WAV to MP3 (CBR 128, -h): engine and pipe %.3f s, "
            "lame on the file %.3f s, ratio %.3f (goal <= 1.05)\n",
            x, y, x / y);
    fs::remove(Out());
    return 0;
}
