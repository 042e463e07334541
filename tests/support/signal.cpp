// Test signals and measures.
#include "tests/support/signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "tests/support/testutil.h"

namespace testutil {

std::vector<int16_t> Sine(int32_t rate, int channels, int32_t frames, double hz, double amplitude) {
    std::vector<int16_t> out(size_t(frames) * channels);
    for (int32_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate);
        for (int c = 0; c < channels; ++c) out[size_t(i) * channels + c] = int16_t(std::lround(v));
    }
    return out;
}

std::vector<int16_t> ToneMix(int32_t rate, int channels, int32_t frames) {
    std::vector<int16_t> out(size_t(frames) * channels);
    uint32_t seed = 12345;
    for (size_t k = 0; k < out.size(); ++k) {
        const int c = int(k % size_t(channels));
        const double t = double(k / size_t(channels)) / rate;
        double v = 9000 * std::sin(2 * std::numbers::pi * (330 + 110 * c) * t) +
                   5000 * std::sin(2 * std::numbers::pi * 1250 * t + c);
        seed = seed * 1664525u + 1013904223u;
        v += double(int32_t(seed >> 16) - 32768) / 32768.0 * 600;
        out[k] = int16_t(std::lround(v));
    }
    return out;
}

std::vector<int16_t> Speech8k(const std::string& dir) {
    if (!HaveTool("espeak-ng") || !HaveTool("sox")) return {};
    const std::string raw = dir + "/speech.raw";
    const std::string text =
        "The quick brown fox jumps over the lazy dog. Converting audio files correctly to the "
        "sample is what users expect from a good program. Seven silver swans swam silently "
        "seaward, and nine nimble nightingales never needed naming.";
    const std::string sox = "sox -V1 -t wav - -r 8000 -c 1 -b 16 -e signed -L -t raw '" + raw + "'";
    if (Run("espeak-ng --stdout \"" + text + "\" 2>/dev/null | " + sox) != 0) return {};
    return ReadRaw16(raw);
}

std::vector<int32_t> Internal(const std::vector<int16_t>& v) {
    std::vector<int32_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) out[i] = v[i] * 16;
    return out;
}

double SnrDbBestOffset(const std::vector<int16_t>& reference, const std::vector<int16_t>& test,
                       int maxShift) {
    // The shift is found on every 7th sample, then measured on all of them.
    auto snr = [&](int k, size_t step) {
        double s = 0, e = 0;
        for (size_t i = size_t(std::max(0, -k)); i < reference.size(); i += step) {
            const int64_t j = int64_t(i) + k;
            if (j >= int64_t(test.size())) break;
            const double d = double(reference[i]) - test[size_t(j)];
            s += double(reference[i]) * reference[i], e += d * d;
        }
        return e == 0 ? 200 : 10 * std::log10(s / e);
    };
    int best = 0;
    double top = -1e9;
    for (int k = -maxShift; k <= maxShift; ++k)
        if (const double v = snr(k, 7); v > top) best = k, top = v;
    return snr(best, 1);
}

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    double ma = 0, mb = 0, sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < n; ++i) ma += a[i] / double(n), mb += b[i] / double(n);
    for (size_t i = 0; i < n; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return (saa > 0 && sbb > 0) ? sab / std::sqrt(saa * sbb) : 0;
}

int MaxDiff(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    int m = 0;
    for (size_t i = 0; i < n; ++i) m = std::max(m, std::abs(int(a[i]) - int(b[i])));
    return m;
}

std::vector<double> Channel(const std::vector<int32_t>& v, int channels, int channel) {
    std::vector<double> out;
    for (size_t i = size_t(channel); i < v.size(); i += size_t(channels)) out.push_back(v[i]);
    return out;
}

static double Goertzel(const std::vector<double>& x, double rate, double hz) {
    const double k = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (double v : x) s2 = std::exchange(s1, v + k * s1 - s2);
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / double(x.size());
}

Tone FindTone(const std::vector<double>& x, double rate, double lo, double hi) {
    Tone best;
    // Coarse scan, then refine around the peak.
    double step = (hi - lo) / 200.0, from = lo, to = hi;
    for (int pass = 0; pass < 4; ++pass) {
        for (double f = from; f <= to; f += step)
            if (const double a = Goertzel(x, rate, f); a > best.amplitude) best = {f, a};
        from = best.hz - 2 * step;
        to = best.hz + 2 * step;
        step /= 20.0;
    }
    return best;
}

std::vector<int16_t> ReadRaw16(const std::string& path) {
    const std::vector<uint8_t> b = ReadFileBytes(path);
    std::vector<int16_t> out(b.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(b[2 * i] | b[2 * i + 1] << 8);
    return out;
}

bool WriteRaw16(const std::string& path, const std::vector<int16_t>& samples) {
    std::vector<uint8_t> b;
    for (int16_t s : samples) PutLE(b, uint16_t(s), 2);
    return WriteFileBytes(path, b);
}

}  // namespace testutil
