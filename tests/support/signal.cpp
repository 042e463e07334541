// Test signals and measures for codec tests.
#include "tests/support/signal.h"

#include <cmath>

#include "tests/support/testutil.h"

namespace testutil {

std::vector<int16_t> Speech8k(const std::string& dir) {
    if (!HaveTool("espeak-ng") || !HaveTool("sox")) return {};
    const std::string wav = dir + "/speech22.wav", raw = dir + "/speech.raw";
    const std::string text =
        "The quick brown fox jumps over the lazy dog. Converting audio files correctly to the "
        "sample is what users expect from a good program. Seven silver swans swam silently "
        "seaward, and nine nimble nightingales never needed naming.";
    if (Run("espeak-ng -w '" + wav + "' \"" + text + "\" >/dev/null 2>&1") != 0) return {};
    if (Run("sox '" + wav + "' -r 8000 -c 1 -b 16 -e signed -L -t raw '" + raw + "'") != 0)
        return {};
    return ReadRaw16(raw);
}

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& test) {
    const size_t n = std::min(reference.size(), test.size());
    double s = 0, e = 0;
    for (size_t i = 0; i < n; ++i) {
        s += double(reference[i]) * reference[i];
        const double d = double(reference[i]) - test[i];
        e += d * d;
    }
    if (e == 0) return 200;
    return 10 * std::log10(s / e);
}

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n == 0) return 0;
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= double(n);
    mb /= double(n);
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < n; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return (saa > 0 && sbb > 0) ? sab / std::sqrt(saa * sbb) : 0;
}

std::vector<int16_t> ReadRaw16(const std::string& path) {
    const std::vector<uint8_t> b = ReadFileBytes(path);
    std::vector<int16_t> out(b.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(b[2 * i] | b[2 * i + 1] << 8);
    return out;
}

bool WriteRaw16(const std::string& path, const std::vector<int16_t>& samples) {
    std::vector<uint8_t> b(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        b[2 * i] = uint8_t(samples[i]);
        b[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    return WriteFileBytes(path, b);
}

}  // namespace testutil
