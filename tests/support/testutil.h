// Helpers shared by the test suites: scratch folders, running peer tools, sample files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// A fresh, empty scratch folder for the calling test (removed when the test program ends).
std::string ScratchDir();
// Removes the stored WAV output format ("WavCodec.wff"), so WAV outputs are PCM at the source's
// rate and channels whatever an earlier test in the same profile chose.
void ForgetWavOutputFormat();
// Runs a shell command; returns its exit status (-1 when it could not be run).
int Run(const std::string& command);
// Runs a shell command and returns its standard output.
std::string RunOutput(const std::string& command);
// True when the program is on PATH.
bool HaveTool(const char* name);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes a 16-bit PCM WAV file from interleaved samples.
bool WriteWav16(const std::string& path, int32_t rate, int channels,
                const std::vector<int16_t>& samples);
// An RF64 WAV of 16-bit stereo PCM at 44100 Hz holding `frames` frames, sparse (silent) but
// for each frame k of `marked`, which holds Rf64Mark(k) in both channels.
bool WriteSparseRf64(const std::string& path, int64_t frames, const std::vector<int64_t>& marked);
inline int16_t Rf64Mark(int64_t frame) {
    return int16_t(frame * 7919 % 65536 - 32768);
}
// A sine of the given frequency and amplitude, interleaved over the channels.
std::vector<int16_t> Sine(int32_t rate, int channels, int32_t frames, double hz, double amplitude);

#ifndef _WIN32
// A real failure of the outside world: every descriptor of this process open on the (absolute)
// path is replaced by the path opened with flags (O_RDONLY: writes then fail; O_WRONLY: reads
// do). Returns how many were replaced.
int SpoilOpenFile(const std::string& path, int flags);
#endif

}  // namespace testutil
