// In-memory sources and sinks, and Goertzel tone measurement.
#include "tests/support/soundutil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace testutil {

MemorySource::MemorySource(int32_t rate, int channels, std::vector<int32_t> samples,
                           int32_t peakValue)
    : LSoundSourceBase(rate, channels, peakValue), samples_(std::move(samples)) {
    frames_ = int32_t(samples_.size() / size_t(GetChannels()));
}

void MemorySource::Read(int32_t* buffer, int32_t n) {
    largestRead = std::max(largestRead, n);
    const int ch = GetChannels();
    for (int32_t i = 0; i < n; ++i, ++position_) {
        for (int c = 0; c < ch; ++c) {
            *buffer++ =
                (position_ >= 0 && position_ < frames_) ? samples_[size_t(position_) * ch + c] : 0;
        }
    }
}

int32_t MemorySink::Write(const int32_t* buffer, int32_t n) {
    sPosition += n;
    writeSizes.push_back(n);
    if (!IsUnusable()) samples.insert(samples.end(), buffer, buffer + size_t(n) * GetChannels());
    return 0;
}

void MemorySink::Seek(int32_t frame) {
    if (frame > sPosition) return;
    if (frame < 0) frame = 0;
    sPosition = frame;
    samples.resize(std::min(samples.size(), size_t(frame) * GetChannels()));
}

std::vector<int32_t> ReadToEnd(LSoundSourceBase* src) {
    const int ch = src->GetChannels();
    std::vector<int32_t> all, buf(size_t(LSOUND_BLOCK_FRAMES) * ch);
    for (;;) {
        const int32_t left = src->GetEndSample() - src->GetPosition();
        if (left <= 0) break;
        const int32_t n = std::min(left, LSOUND_BLOCK_FRAMES);
        src->Read(buf.data(), n);
        all.insert(all.end(), buf.begin(), buf.begin() + size_t(n) * ch);
    }
    return all;
}

std::vector<double> Channel(const std::vector<int32_t>& v, int channels, int channel) {
    std::vector<double> out;
    for (size_t i = size_t(channel); i < v.size(); i += size_t(channels)) out.push_back(v[i]);
    return out;
}

static double Goertzel(const std::vector<double>& x, double rate, double hz) {
    const double w = 2.0 * std::numbers::pi * hz / rate;
    const double k = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (double v : x) {
        const double s0 = v + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / double(x.size());
}

Tone FindTone(const std::vector<double>& x, double rate, double lo, double hi) {
    Tone best;
    // Coarse scan, then refine around the peak.
    double step = (hi - lo) / 200.0;
    double from = lo, to = hi;
    for (int pass = 0; pass < 4; ++pass) {
        for (double f = from; f <= to; f += step) {
            const double a = Goertzel(x, rate, f);
            if (a > best.amplitude) best = {f, a};
        }
        from = best.hz - 2 * step;
        to = best.hz + 2 * step;
        step /= 20.0;
    }
    return best;
}

}  // namespace testutil
