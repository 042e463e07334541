// Every core in the window's batch (tamber.exe under Wine): 8 MP3 encodes by a hidden start with
// "Jobs" 1 against "Jobs" 0 (one per processor), timed, the outputs compared byte for byte.
//   scripts/wine-run build/win32/tests/jobs_bench.exe
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/testutil.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

constexpr int kFiles = 8;
constexpr double kTwoPi = 6.283185307179586;

// Seconds a hidden start takes to convert the inputs into folder (-1: not within 5 minutes).
double Convert(const std::string& exe, const std::vector<std::string>& inputs,
               const std::string& folder) {
    std::vector<std::string> args = {"-hide", "-format", ".mp3", "-outfolder", folder};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"-convert", "-exit"});
    const auto start = std::chrono::steady_clock::now();
    HANDLE p = Start(exe, args);
    const bool ended = WaitForSingleObject(p, 300000) == WAIT_OBJECT_0;
    CloseHandle(p);
    if (!ended) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "tamber-jobs-bench", exe = Built("tamber.exe");
    CreateDirectoryA(root.c_str(), nullptr);
    // The encoder is the real LAME, built for this platform next to the program.
    RegWrite(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Components\\mp3el", "Path",
             Built("lame.exe").c_str());
    // Joint stereo, as the encoder's settings have it by default.
    SetSetting("MP3Encoder", "ChannelMode", "1");
    std::vector<std::string> inputs;
    for (int i = 0; i < kFiles; ++i) {
        // 2 minutes of a chord (a song's length) that differs per file, so that no two outputs are
        // alike.
        std::vector<int16_t> pcm(size_t(44100) * 120 * 2);
        for (size_t n = 0; n < pcm.size() / 2; ++n) {
            const double t = double(n) / 44100;
            const double v =
                std::sin(t * kTwoPi * (220 + 30 * i)) + 0.5 * std::sin(t * kTwoPi * (331 + 7 * i));
            pcm[2 * n] = int16_t(v * 9000);
            pcm[2 * n + 1] = int16_t(v * 7000);
        }
        inputs.push_back(root + "\\in" + std::to_string(i) + ".wav");
        testutil::WriteWav16(inputs.back(), 44100, 2, pcm);
    }
    double seconds[2] = {};
    const char* jobs[2] = {"1", "0"};
    for (int k = 0; k < 2; ++k) {
        const std::string folder = root + "\\jobs" + jobs[k];
        CreateDirectoryA(folder.c_str(), nullptr);
        SetSetting("Settings", "Jobs", jobs[k]);
        seconds[k] = Convert(exe, inputs, folder);
    }
    SetSetting("Settings", "Jobs", nullptr);
    SetSetting("MP3Encoder", "ChannelMode", nullptr);
    int same = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "\\in" + std::to_string(i) + ".mp3";
        const auto one = testutil::ReadFileBytes(root + "\\jobs1" + name);
        same += !one.empty() && one == testutil::ReadFileBytes(root + "\\jobs0" + name);
    }
    std::printf(
        "jobs_bench: %d MP3 encodes on %lu processors: Jobs=1 %.2f s, Jobs=0 %.2f s, "
        "ratio %.2f; %d of %d outputs byte-identical\n",
        kFiles, GetActiveProcessorCount(ALL_PROCESSOR_GROUPS), seconds[0], seconds[1],
        seconds[0] > 0 ? seconds[1] / seconds[0] : 0.0, same, kFiles);
    return seconds[0] > 0 && seconds[1] > 0 && same == kFiles ? 0 : 1;
}
