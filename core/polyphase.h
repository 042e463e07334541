// The polyphase low-pass filter shared by the source-side and sink-side resamplers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct LPolyphaseFilter {
    // Designs the filter for inRate -> outRate with `taps` taps per phase. A ratio that cannot be
    // expressed (more than 510 output frames per input frame) gives N = 1 and returns false.
    bool Design(int32_t inRate, int32_t outRate, bool narrow, int taps);
    const int32_t* Row(int32_t phase) const { return coef.data() + size_t(phase) * size_t(taps); }

    int32_t n = 1;  // phases
    int32_t N = 1;  // input step per output frame, in 1/n input frames
    int taps = 0;
    std::vector<int32_t> coef;  // n rows of `taps` Q16 coefficients
};

// x * n / N without overflow, as (x div N) * n + ((x mod N) * n) div N.
inline int64_t LScaleFrames(int64_t x, int64_t n, int64_t N) {
    return (x / N) * n + ((x % N) * n) / N;
}
