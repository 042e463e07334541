// Polyphase filter design: phase count search, Kaiser-windowed sinc in Q16.
#include "core/polyphase.h"

#include <cmath>
#include <numbers>

namespace {

// The modified Bessel function of order 0, as the first seven terms of its series.
double BesselI0(double x) {
    const double q = x * x / 4.0;
    double sum = 1.0, term = 1.0;
    for (int m = 1; m <= 6; ++m) {
        term *= q / (double(m) * double(m));
        sum += term;
    }
    return sum;
}

}  // namespace

bool LPolyphaseFilter::Design(int32_t inRate, int32_t outRate, bool narrow, int tapCount) {
    taps = tapCount;
    const double d = double(inRate) / double(outRate);
    double best = d;
    n = 1;
    for (int i = 1; i <= 255; ++i) {
        const uint16_t r = uint16_t(int64_t(d * i + 0.5));
        const double e = std::fabs(d - double(r) / i);
        if (e < best) {
            n = i;
            if (e < 0.001) break;
            best = e;
        }
    }
    const double steps = d * n + 0.5;
    bool ok = steps >= 1.0 && steps < 2147483647.0;
    N = ok ? int32_t(steps) : 1;
    if (!ok) n = 1;

    double c, beta;
    if (inRate < outRate) {
        c = 0.975;
        beta = 2.12;
    } else {
        c = double(outRate) / double(inRate) - (narrow ? 0.09375 : 0.046875);
        beta = 4.538;
    }
    const int half = taps / 2;
    const double M = half + 1;
    const double i0beta = BesselI0(beta);
    coef.assign(size_t(n) * size_t(taps), 0);
    for (int j = 0; j < n; ++j) {
        for (int k = 0; k < taps; ++k) {
            const double h = double(k - half) - double(j) / n;
            int32_t v;
            if (h == 0.0) {
                v = int32_t(c * 65536.0 + 0.5);
            } else {
                const double x = std::numbers::pi * c * h;
                const double w = BesselI0(beta * std::sqrt(1.0 - h * h / (M * M))) / i0beta;
                v = int32_t(std::round(c * 65536.0 * std::sin(x) / x * w));
            }
            coef[size_t(j) * size_t(taps) + size_t(k)] = v;
        }
    }
    return ok;
}
