// Test signals and measures for codec tests: speech made by a speech synthesiser, SNR, raw I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// About ten seconds of 8 kHz mono speech as 16-bit samples (empty when espeak-ng or sox is
// missing). Also written to dir/speech.raw (16-bit little-endian) for peer tools.
std::vector<int16_t> Speech8k(const std::string& dir);
// Signal-to-noise ratio of test against reference over the common length, in dB.
double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& test);
// Pearson correlation over the common length.
double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b);
// 16-bit little-endian raw files.
std::vector<int16_t> ReadRaw16(const std::string& path);
bool WriteRaw16(const std::string& path, const std::vector<int16_t>& samples);

}  // namespace testutil
