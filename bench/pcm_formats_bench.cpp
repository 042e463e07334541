// AIFF, AU and raw 16-bit writing and reading against the engine's PCM WAV writer and reader on
// the same three minutes of 44.1 kHz stereo; prints time ratios (at most 1.5 is the goal).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/raw.h"
#include "formats/wav.h"

namespace {

const std::string kDir = "/tmp/tamber-pcm-bench";
constexpr int32_t kRate = 44100, kFrames = kRate * 180;
std::vector<int32_t> g_block;

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

struct Format {
    const char* name;
    std::string path;
    std::function<LSinkRef()> sink;
    std::function<LSourceRef()> source;
    double write = 1e30, read = 1e30;
};

std::vector<Format> g_formats;

void Write(Format& f) {
    LSinkRef sink = f.sink();
    for (int32_t pos = 0; pos < kFrames; pos += 8192)
        sink->Write(g_block.data(), std::min(8192, kFrames - pos));
}

int64_t Read(Format& f) {
    LSourceRef src = f.source();
    std::vector<int32_t> buf(8192 * 2);
    int64_t sum = 0;
    const int32_t end = src->GetEndSample();
    for (int32_t pos = 0; pos < end; pos += 8192) {
        src->Read(buf.data(), std::min(8192, end - pos));
        sum += buf[0];
    }
    return sum;
}

void BM_Write(benchmark::State& state) {
    Format& f = g_formats[size_t(state.range(0))];
    state.SetLabel(f.name);
    for (auto _ : state) {
        const double t0 = CpuSeconds();
        Write(f);
        f.write = std::min(f.write, CpuSeconds() - t0);
    }
}
void BM_Read(benchmark::State& state) {
    Format& f = g_formats[size_t(state.range(0))];
    state.SetLabel(f.name);
    for (auto _ : state) {
        const double t0 = CpuSeconds();
        benchmark::DoNotOptimize(Read(f));
        f.read = std::min(f.read, CpuSeconds() - t0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::system(("mkdir -p " + kDir).c_str());
    g_block.resize(8192 * 2);
    for (size_t i = 0; i < g_block.size(); ++i)
        g_block[i] = int32_t(20000 * std::sin(double(i) * 0.013)) * 16;
    const std::string wav = kDir + "/a.wav", aif = kDir + "/a.aif", au = kDir + "/a.au",
                      raw = kDir + "/a.raw";
    g_formats = {
        {"wav", wav, [=] { return LWaveFile::OpenSinkPCM(wav.c_str(), kRate, 16, 2); },
         [=] { return LWaveFile::OpenSource(wav.c_str()); }},
        {"aiff", aif, [=] { return LAifFile::OpenSink(aif.c_str(), kRate, 2); },
         [=] { return LAifFile::OpenSource(aif.c_str()); }},
        {"au", au, [=] { return LAuFile::OpenSink(au.c_str(), kRate, 2); },
         [=] { return LAuFile::OpenSource(au.c_str()); }},
        {"raw", raw, [=] { return LRawFile::OpenSink(raw.c_str(), kRate, 2, LRAW_CODEC_PCM16LE); },
         [=] { return LRawFile::OpenSource(raw.c_str(), kRate, 2, LRAW_CODEC_PCM16LE); }},
    };
    for (int i = 0; i < int(g_formats.size()); ++i) {
        benchmark::RegisterBenchmark("Write3min", BM_Write)
            ->Arg(i)
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime();
        benchmark::RegisterBenchmark("Read3min", BM_Read)
            ->Arg(i)
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    const Format& w = g_formats[0];
    std::printf("\n3 minutes of 44.1 kHz stereo, CPU seconds, best of 3 (ratio = format / WAV):\n");
    for (const Format& f : g_formats)
        std::printf("  %-4s write %.3f s (%.2f)  read %.3f s (%.2f)\n", f.name, f.write,
                    f.write / w.write, f.read, f.read / w.read);
    for (const Format& f : g_formats) std::remove(f.path.c_str());
    benchmark::Shutdown();
    return 0;
}
