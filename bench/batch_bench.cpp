// The conversion job's cost per file: 500 one-second WAV files against the same 500 seconds of
// audio in one file, both converted to WAV by ProcessConvert in the same run. Prints the
// overhead per file in milliseconds (the goal is at most 2 ms) and the time ratio.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "store/settings.h"
#include "convert/job.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 500;
constexpr int32_t kRate = 44100;

// A silent progress surface (no terminal output inside the timing).
class QuietDialog : public LProgressDialog {
  public:
    QuietDialog() : LProgressDialog("bench") {}
    bool PumpMessages() override { return false; }
    void SetText(const char*, int) override {}
    void SetProgress(double) override {}
    void ShowError(const char* t) override { std::fprintf(stderr, "bench: %s\n", t); }

  protected:
    bool ProcessBody() override { return true; }
};

class ListHost : public LConvertHost {
  public:
    std::vector<std::string> paths;
    std::vector<int> images;
    std::string folder;
    int EntryCount() override { return int(paths.size()); }
    void GetEntryPath(int i, char* p) override {
        std::snprintf(p, LMAX_PATH, "%s", paths[i].c_str());
    }
    bool IsEntrySelected(int) override { return true; }
    void SelectAll() override {}
    void SetEntryImage(int i, int image) override { images[size_t(i)] = image; }
    void AddEntry(const char*, uint32_t) override {}
    void RemoveAllEntries() override {}
    void GetOutputFolder(char* t) override { std::snprintf(t, LMAX_PATH, "%s", folder.c_str()); }
    void SetOutputFolder(const char*) override {}
    void GetOutputFormat(char* e) override { std::strcpy(e, ".wav"); }
    bool SelectOutputFormat(const char*) override { return true; }
    LWindowHandle GetWindow() override { return nullptr; }
    bool IsHidden() override { return true; }
    void SetHidden(bool) override {}
    void CloseWindow() override {}
    int AskYesNoCancel(const char*, const char*) override { return LANSWER_YES; }
    void ShowErrorMessage(const char* t, const char*) override { std::fprintf(stderr, "%s\n", t); }
};

void WriteWav(const std::string& path, int32_t frames, uint32_t seed) {
    std::vector<int16_t> pcm(size_t(frames) * 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        pcm[i] = int16_t(seed >> 18);
    }
    const uint32_t bytes = uint32_t(pcm.size() * 2);
    uint8_t h[44] = {'R', 'I', 'F', 'F', 0,  0, 0,   0,   'W', 'A', 'V', 'E', 'f', 'm', 't',
                     ' ', 16,  0,   0,   0,  1, 0,   2,   0,   0,   0,   0,   0,   0,   0,
                     0,   0,   4,   0,   16, 0, 'd', 'a', 't', 'a', 0,   0,   0,   0};
    auto put32 = [&](int at, uint32_t v) {
        for (int k = 0; k < 4; ++k) h[at + k] = uint8_t(v >> (8 * k));
    };
    put32(4, 36 + bytes);
    put32(24, kRate);
    put32(28, kRate * 4);
    put32(40, bytes);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(h, 1, sizeof h, f);
    std::fwrite(pcm.data(), 1, bytes, f);
    std::fclose(f);
}

struct Fixture {
    std::string root;
    ListHost batch, single;
    Fixture() {
        root = (fs::temp_directory_path() / "tamber-batch-bench").string();
        fs::create_directories(root + "/in");
        fs::create_directories(root + "/out-batch");
        fs::create_directories(root + "/out-single");
        setenv("TAMBER_HOME", (root + "/home").c_str(), 1);
        SettingsWriteBool("Settings", "AlwaysPrompt", false);
        SettingsWriteBool("Settings", "AlwaysOverwrite", true);
        for (int i = 0; i < kFiles; ++i) {
            std::string p = root + "/in/f" + std::to_string(i) + ".wav";
            if (!fs::exists(p)) WriteWav(p, kRate, uint32_t(i));
            batch.paths.push_back(p);
        }
        std::string all = root + "/in/all.wav";
        if (!fs::exists(all)) WriteWav(all, kRate * kFiles, 7);
        single.paths.push_back(all);
        batch.folder = root + "/out-batch";
        single.folder = root + "/out-single";
        batch.images.assign(batch.paths.size(), 0);
        single.images.assign(1, 0);
    }
};

double RunJob(ListHost& host) {
    QuietDialog dlg;
    LConvertJob job;
    job.mainWindow = &host;
    std::strcpy(job.outputExtension, ".wav");
    auto t0 = std::chrono::steady_clock::now();
    int status = ProcessConvert(&dlg, &job);
    auto t1 = std::chrono::steady_clock::now();
    if (status != LPROCESS_OK || job.outcome != LPROCESS_OK)
        std::fprintf(stderr, "bench: job failed\n");
    return std::chrono::duration<double>(t1 - t0).count();
}

void BM_BatchOverheadPerFile(benchmark::State& state) {
    static Fixture fx;
    double batchTotal = 0, singleTotal = 0;
    for (auto _ : state) {
        double s = RunJob(fx.single);
        double b = RunJob(fx.batch);
        singleTotal += s;
        batchTotal += b;
        state.SetIterationTime(b);
    }
    const double n = double(state.iterations());
    const double overheadMs = (batchTotal - singleTotal) / n / kFiles * 1000.0;
    state.counters["batch_s"] = batchTotal / n;
    state.counters["one_file_s"] = singleTotal / n;
    state.counters["overhead_ms_per_file"] = overheadMs;
    state.counters["ratio_batch_over_one_file"] = batchTotal / singleTotal;
    std::printf(
        "batch of %d one-second files: %.3f s; the same audio in one file: %.3f s; "
        "overhead %.3f ms per file (goal <= 2 ms); ratio %.2f\n",
        kFiles, batchTotal / n, singleTotal / n, overheadMs, batchTotal / singleTotal);
}
BENCHMARK(BM_BatchOverheadPerFile)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
