// IMA and Microsoft ADPCM decoding through the WAV reader against ffmpeg decoding the same file
// to a WAV file, in the same run; prints the time ratio (ffmpeg / ours, above 1 = we are faster).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/wav.h"

namespace {

std::string Dir() {
    static std::string dir = [] {
        auto d = std::filesystem::temp_directory_path() / "tamber-adpcm-bench";
        std::filesystem::create_directories(d);
        return d.string();
    }();
    return dir;
}

// Two minutes of 44100 Hz stereo pink noise and tones, encoded by sox.
std::string MakeFile(const std::string& encoding) {
    std::string path = Dir() + "/" + encoding + ".wav";
    if (!std::filesystem::exists(path)) {
        std::string cmd = "sox -n -r 44100 -c 2 -e " + encoding + " '" + path +
                          "' synth 120 pinknoise sine 440 vol 0.5 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "sox failed: %s\n", cmd.c_str());
    }
    return path;
}

void DecodeOurs(benchmark::State& state, const std::string& encoding) {
    std::string path = MakeFile(encoding);
    std::vector<int32_t> buf(LSOUND_BLOCK_FRAMES * 2);
    int64_t frames = 0;
    for (auto _ : state) {
        LSourceRef src = LWaveFile::OpenSource(path.c_str());
        if (src->GetError() != 0) {
            state.SkipWithError("cannot open");
            return;
        }
        while (src->GetPosition() < src->GetEndSample()) {
            src->Read(buf.data(), LSOUND_BLOCK_FRAMES);
            benchmark::DoNotOptimize(buf.data());
        }
        frames = src->GetEndSample();
    }
    state.counters["frames"] = double(frames);
}

void DecodeFfmpeg(benchmark::State& state, const std::string& encoding) {
    std::string path = MakeFile(encoding);
    std::string cmd = "ffmpeg -nostdin -loglevel error -y -i '" + path + "' -f wav '" + Dir() +
                      "/ffmpeg_out.wav'";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
}

// Collects the mean real time per benchmark so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times_[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const char* enc : {"ima-adpcm", "ms-adpcm"}) {
            auto ours = times_.find(std::string("Ours/") + enc);
            auto peer = times_.find(std::string("Ffmpeg/") + enc);
            if (ours != times_.end() && peer != times_.end() && ours->second > 0)
                std::printf("%s decode: ours %.1f ms, ffmpeg %.1f ms, ratio ffmpeg/ours %.2f\n",
                            enc, ours->second, peer->second, peer->second / ours->second);
        }
    }

  private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const char* enc : {"ima-adpcm", "ms-adpcm"}) {
        benchmark::RegisterBenchmark((std::string("Ours/") + enc).c_str(), DecodeOurs,
                                     std::string(enc))
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("Ffmpeg/") + enc).c_str(), DecodeFfmpeg,
                                     std::string(enc))
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
