// Test signals and measures: tones, speech, SNR, differences, tones found.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// A sine of the given frequency and amplitude, interleaved over the channels.
std::vector<int16_t> Sine(int32_t rate, int channels, int32_t frames, double hz, double amplitude);
// Two tones and a little noise at about -6 dBFS, interleaved.
std::vector<int16_t> ToneMix(int32_t rate, int channels, int32_t frames);
// About ten seconds of 8 kHz mono speech, also in dir/speech.raw (empty without espeak-ng, sox).
std::vector<int16_t> Speech8k(const std::string& dir);
// 16-bit samples at the internal scale.
std::vector<int32_t> Internal(const std::vector<int16_t>& v);

// Signal-to-noise ratio (dB) of test against reference over the common length, the best with
// test shifted by up to maxShift samples either way (codec delays); SnrDb does not shift.
double SnrDbBestOffset(const std::vector<int16_t>& reference, const std::vector<int16_t>& test,
                       int maxShift);
inline double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& test) {
    return SnrDbBestOffset(reference, test, 0);
}
// Pearson correlation over the common length.
double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b);
// Largest absolute difference over the common length.
int MaxDiff(const std::vector<int16_t>& a, const std::vector<int16_t>& b);
// One channel of an interleaved vector, as doubles.
std::vector<double> Channel(const std::vector<int32_t>& v, int channels, int channel);
// The strongest component between lo and hi Hz (to about 0.01 Hz), by Goertzel's algorithm.
struct Tone {
    double hz = 0, amplitude = 0;
};
Tone FindTone(const std::vector<double>& x, double rate, double lo, double hi);

// 16-bit little-endian raw files.
std::vector<int16_t> ReadRaw16(const std::string& path);
bool WriteRaw16(const std::string& path, const std::vector<int16_t>& samples);

}  // namespace testutil
