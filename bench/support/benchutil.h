// Helpers shared by the benchmark programs: the music-like input, shell contenders, ratio lines.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace benchutil {

// Writes (once) a 44.1 kHz stereo 16-bit WAV of two tones and some noise, minutes long.
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
