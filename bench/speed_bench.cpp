// Headless tamber against peers in one run (mpg123, sox, ffmpeg, dd, -jobs 1), ratios, peak memory.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>

#include "bench/support/benchutil.h"

namespace fs = std::filesystem;

static std::string g_dir;

static std::string Tamber(const std::string& args) {
    return "cd '" + g_dir + "' && TAMBER_HOME=home '" TAMBER_CLI "' " + args +
           " -outfolder out -convert 2>/dev/null";
}

static std::string Peer(const std::string& command) {
    return "cd '" + g_dir + "' && mkdir -p out && " + command;
}

// Peak resident memory (KiB) of the shell command and what it ran (the headless program).
static long PeakMemoryKiB(const std::string& command) {
    fs::remove_all(g_dir + "/out");
    const pid_t child = fork();
    if (child == 0) _exit(std::system(command.c_str()) == 0 ? 0 : 1);
    int status = 0;
    struct rusage ru = {};
    if (child < 0 || wait4(child, &status, 0, &ru) != child || status != 0) return -1;
    return ru.ru_maxrss;
}

int main(int argc, char** argv) {
    const char* dir = std::getenv("TAMBER_BENCH_DIR");
    g_dir = dir ? dir : (fs::temp_directory_path() / "tamber-speed-bench").string();
    fs::create_directories(g_dir);
    benchutil::MakeMusicWav(g_dir + "/in10.wav", 10);
    for (int i = 1; i <= 8; ++i)
        benchutil::MakeMusicWav(g_dir + "/b" + std::to_string(i) + ".wav", 1);
    if (std::system(Peer("[ -e in10.mp3 ] || lame --quiet -b 192 in10.wav in10.mp3").c_str()) != 0)
        std::fprintf(stderr, "speed_bench: lame could not make the MP3 input\n");
    std::system(Peer("cat *.wav *.mp3 > /dev/null").c_str());  // into the page cache

    const std::string clean = "rm -rf '" + g_dir + "/out'";
    const std::string batch = " b1.wav b2.wav b3.wav b4.wav b5.wav b6.wav b7.wav b8.wav";
    const std::string same = "-settings .wav PCM 44100 2 -format .wav ";
    const std::string to48 = "-settings .wav PCM 48000 2 -format .wav ";
    const std::tuple<const char*, std::string, int> runs[] = {
        {"Mp3Tamber", Tamber(same + "in10.mp3"), 3},
        {"Mp3Mpg123", Peer("mpg123 -q --no-gapless -w out/in10.wav in10.mp3"), 3},
        {"To48kTamber", Tamber(to48 + "in10.wav"), 3},
        {"To48kSox", Peer("sox in10.wav -r 48000 out/in10.wav"), 3},
        {"To48kFfmpeg", Peer("ffmpeg -nostdin -v error -y -i in10.wav -ar 48000 out/a.wav"), 3},
        {"CopyTamber", Tamber(same + "in10.wav"), 5},
        {"CopyDd", Peer("dd if=in10.wav of=out/in10.wav bs=1M status=none"), 5},
        {"Mp3Jobs1", Tamber("-format .mp3 -jobs 1" + batch), 2},
        {"Mp3JobsDefault", Tamber("-format .mp3" + batch), 2},
        {"To48kJobs1", Tamber(to48 + "-jobs 1" + batch), 3},
        {"To48kJobsDefault", Tamber(to48 + batch), 3}};
    for (const auto& [name, command, iterations] : runs)
        benchutil::RegisterShell(name, command, iterations, clean);
    benchmark::Initialize(&argc, argv);
    benchutil::RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);

    std::printf("\n%u processors\n", std::thread::hardware_concurrency());
    rep.Ratio("10 min MP3 192k to WAV: tamber / mpg123 (goal <= 0.8)", "Mp3Tamber", "Mp3Mpg123");
    rep.Ratio("10 min to 48 kHz: tamber / sox (goal <= 0.2)", "To48kTamber", "To48kSox");
    rep.Ratio("10 min to 48 kHz: tamber / ffmpeg (goal <= 0.5)", "To48kTamber", "To48kFfmpeg");
    rep.Ratio("10 min WAV copy: tamber / dd bs=1M (goal <= 1.5)", "CopyTamber", "CopyDd");
    rep.Ratio("8 x 1 min to MP3: -jobs 1 / default (goal >= 1.8)", "Mp3Jobs1", "Mp3JobsDefault");
    rep.Ratio("8 x 1 min to 48 kHz: -jobs 1 / default (goal >= 1.8)", "To48kJobs1",
              "To48kJobsDefault");
    if (!std::getenv("TAMBER_BENCH_NO_MEMORY")) {
        benchutil::MakeMusicWav(g_dir + "/in60.wav", 60);
        const long m10 = PeakMemoryKiB(Tamber(to48 + "-jobs 1 in10.wav")),
                   m60 = PeakMemoryKiB(Tamber(to48 + "-jobs 1 in60.wav"));
        std::printf(
            "peak memory to 48 kHz: 10 min %ld KiB, 60 min %ld KiB, +%ld KiB (goal < 1024)\n", m10,
            m60, m60 - m10);
        fs::remove(g_dir + "/in60.wav");
    }
    fs::remove_all(g_dir + "/out");
    return 0;
}
