// GSM 06.10 speed on 10 minutes of 8 kHz speech: our .gsm writer and reader against toast and
// untoast on the same file, ratios printed at the end (above 1 means we are faster).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/gsm.h"
#include "support/file.h"

namespace {

const std::string kDir = "/tmp/tamber-gsm-bench";
const std::string kRaw = kDir + "/speech10min.raw";  // 16-bit little-endian, 8000 Hz mono
std::vector<int16_t> g_speech;
double g_ourEncode = 1e30, g_ourDecode = 1e30;

// CPU seconds (user + system) of this process or of its finished children: the machine may be
// busy with other work, so wall time would measure the neighbours.
double CpuSeconds(int who) {
    rusage ru{};
    getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

bool MakeSpeech() {
    std::system(("mkdir -p " + kDir).c_str());
    const std::string one = kDir + "/one.raw";
    const std::string text =
        "The quick brown fox jumps over the lazy dog. Converting audio files correctly to the "
        "sample is what users expect from a good program. Seven silver swans swam silently "
        "seaward, and nine nimble nightingales never needed naming.";
    std::string cmd = "espeak-ng --stdout \"" + text +
                      "\" 2>/dev/null | sox -V1 -t wav - -r 8000 -c 1 "
                      "-b 16 -e signed -L -t raw '" +
                      one + "'";
    if (std::system(cmd.c_str()) != 0) {
        // No speech synthesiser: a speech-like mix of vowel formants and noise bursts from sox.
        cmd = "sox -V1 -n -r 8000 -c 1 -b 16 -e signed -L -t raw '" + one +
              "' synth 10 sine 120-240 sine 700 sine 1200 brownnoise tremolo 4 90 gain -6";
        if (std::system(cmd.c_str()) != 0) return false;
    }
    FILE* f = std::fopen(one.c_str(), "rb");
    if (!f) return false;
    std::vector<int16_t> piece(8000 * 60);
    piece.resize(std::fread(piece.data(), 2, piece.size(), f));
    std::fclose(f);
    if (piece.empty()) return false;
    while (g_speech.size() < 8000u * 600u)
        g_speech.insert(g_speech.end(), piece.begin(), piece.end());
    g_speech.resize(8000u * 600u);
    f = std::fopen(kRaw.c_str(), "wb");
    std::fwrite(g_speech.data(), 2, g_speech.size(), f);
    std::fclose(f);
    return true;
}

// Reads the raw file and writes a .gsm file, as toast does.
void EncodeFile(const std::string& out) {
    LFile in;
    in.Open(kRaw.c_str());
    LGSMFileSink sink(out.c_str());
    std::vector<int16_t> raw(8192);
    std::vector<int32_t> block(8192);
    for (;;) {
        const int32_t got = in.Read(raw.data(), 8192 * 2) / 2;
        if (got <= 0) break;
        for (int32_t i = 0; i < got; ++i) block[size_t(i)] = raw[size_t(i)] * 16;
        sink.Write(block.data(), got);
    }
}

// Reads a .gsm file and writes 16-bit samples, as untoast does.
void DecodeFile(const std::string& in, const std::string& out) {
    LGSMFileSource src(in.c_str());
    LFile file;
    file.Create(out.c_str());
    std::vector<int32_t> block(8192);
    std::vector<int16_t> raw(8192);
    const int32_t end = src.GetEndSample();
    for (int32_t pos = 0; pos < end; pos += 8192) {
        const int32_t n = std::min(8192, end - pos);
        src.Read(block.data(), n);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t v = (block[size_t(i)] + 8) >> 4;
            raw[size_t(i)] = int16_t(std::clamp(v, -32768, 32767));
        }
        file.Write(raw.data(), n * 2);
    }
}

void BM_OurGsmEncode10min(benchmark::State& state) {
    for (auto _ : state) {
        const double t0 = CpuSeconds(RUSAGE_SELF);
        EncodeFile(kDir + "/ours.gsm");
        g_ourEncode = std::min(g_ourEncode, CpuSeconds(RUSAGE_SELF) - t0);
    }
}
void BM_OurGsmDecode10min(benchmark::State& state) {
    EncodeFile(kDir + "/ours.gsm");
    for (auto _ : state) {
        const double t0 = CpuSeconds(RUSAGE_SELF);
        DecodeFile(kDir + "/ours.gsm", kDir + "/ours.raw");
        g_ourDecode = std::min(g_ourDecode, CpuSeconds(RUSAGE_SELF) - t0);
    }
}
BENCHMARK(BM_OurGsmEncode10min)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime();
BENCHMARK(BM_OurGsmDecode10min)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime();

double BestOf3(const std::string& cmd) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const double t0 = CpuSeconds(RUSAGE_CHILDREN);
        if (std::system(cmd.c_str()) != 0) return -1;
        best = std::min(best, CpuSeconds(RUSAGE_CHILDREN) - t0);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!MakeSpeech()) {
        std::fprintf(stderr, "gsm_bench: cannot make the speech file (espeak-ng or sox missing)\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    const double toast = BestOf3("toast -l -c '" + kRaw + "' > '" + kDir + "/peer.gsm'");
    const double untoast =
        BestOf3("untoast -l -c '" + kDir + "/peer.gsm' > '" + kDir + "/peer.raw'");
    std::printf("\n10 minutes of 8 kHz speech, CPU seconds, best of 3:\n");
    std::printf("  encode: ours %.3f s, toast %.3f s, ratio toast/ours %.2f\n", g_ourEncode, toast,
                toast / g_ourEncode);
    std::printf("  decode: ours %.3f s, untoast %.3f s, ratio untoast/ours %.2f\n", g_ourDecode,
                untoast, untoast / g_ourDecode);
    benchmark::Shutdown();
    return 0;
}
