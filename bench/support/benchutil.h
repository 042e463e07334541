// Helpers shared by the benchmark programs: the music-like input, shell contenders, ratio lines.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace benchutil {

// n frames of 44.1 kHz stereo internal samples from frame `first` on: two tones and some noise.
std::vector<int32_t> Music(int64_t first, int32_t n);
// Writes (once) a 16-bit WAV of that music, minutes long.
void MakeMusicWav(const std::string& path, int minutes);

// A benchmark running a shell command per iteration (after untimed `before`), with cpu_s.
void RegisterShell(const std::string& name, const std::string& command, int iterations,
                   const std::string& before = "");

// Keeps each benchmark's mean wall and processor seconds, so that Ratio can print them.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;
    // "what  wall a / b = r   cpu a / b = r"; nothing when either benchmark did not run.
    void Ratio(const char* what, const char* a, const char* b) const;

  private:
    std::map<std::string, double> seconds_, cpu_;
};

}  // namespace benchutil
