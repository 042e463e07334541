// Helpers shared by the benchmark programs: the music-like input, shell contenders timed in wall
// and processor seconds, and the ratio lines printed after the runs.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace benchutil {

// Writes (once; an existing file is kept) a 44.1 kHz stereo 16-bit WAV of the given length:
// two tones and some noise, the same content in every benchmark.
void MakeMusicWav(const std::string& path, int minutes);

// Registers a benchmark that runs a shell command per iteration (after `before`, untimed work
// such as removing the previous outputs) and records its children's processor seconds.
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
