// Source-side resampler: block loads with normalisation, polyphase output, positions.
#include "core/convert_rate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "support/trace.h"

namespace {

constexpr int kPlaneStride = LSRCConvertRate::kWorkFrames + 1;

// Two 32-tap dot products over the same window (the compiler turns each into multiply-add
// pairs of 16-bit lanes).
inline void Dot32(const int16_t* h, const int16_t* g, const int16_t* x, int32_t& sh, int32_t& sg) {
    int32_t a = 0, b = 0;
    for (int t = 0; t < 32; ++t) {
        a += int32_t(h[t]) * x[t];
        b += int32_t(g[t]) * x[t];
    }
    sh = a;
    sg = b;
}

// Both halves of both channels: h and g partial sums of A, then of B, left then right.
inline void Dot64Stereo(const int16_t* h, const int16_t* g, const int16_t* l, const int16_t* r,
                        int32_t* sums) {
    for (int half = 0; half < 2; ++half, h += 32, g += 32, l += 32, r += 32) {
        int32_t lh = 0, lg = 0, rh = 0, rg = 0;
        for (int t = 0; t < 32; ++t) {
            lh += int32_t(h[t]) * l[t];
            lg += int32_t(g[t]) * l[t];
            rh += int32_t(h[t]) * r[t];
            rg += int32_t(g[t]) * r[t];
        }
        sums[2 * half] = lh;
        sums[2 * half + 1] = lg;
        sums[4 + 2 * half] = rh;
        sums[4 + 2 * half + 1] = rg;
    }
}

// ((A >> 1) + (B >> 1) + bias) >> (15 - s) on exact sums.
inline int32_t Finish(int64_t a, int64_t b, int s) {
    int64_t v = (a >> 1) + (b >> 1);
    if (s <= 14) {
        v = (v + (int64_t(1) << (14 - s))) >> (15 - s);
    } else {
        v <<= (s - 15);
    }
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

LSRCConvertRate::LSRCConvertRate(const LSourceRef& inner, int32_t sampleRate, bool narrow)
    : LSRCFilterBase(inner) {
    const int32_t inRate = GetSampleRate();
    SetSampleRate(sampleRate);  // below 1: 44100 and error 3
    if (!filter_.Design(inRate, GetSampleRate(), narrow, kTaps)) {
        LTrace("LSRCConvertRate::LSRCConvertRate ratio out of range");
        SetError(LSRC_ERR_INVALID);
    }
    SetPeak(peak <= 0x100000 ? peak * 2 : peak);
    // All of it: the first block's normalisation looks at every frame.
    work_.assign(size_t(kWorkFrames) * channels_, 0);
    delay_ = int32_t(LScaleFrames(8320, filter_.n, filter_.N) + 32);
    PrepareFastRows();
}

void LSRCConvertRate::PrepareFastRows() {
    const int32_t n = filter_.n;
    hRows_.assign(size_t(n) * 64, 0);
    gRows_.assign(size_t(n) * 64, 0);
    fastRows_ = true;
    for (int32_t j = 0; j < n && fastRows_; ++j) {
        const int32_t* row = filter_.Row(j);
        int64_t bound[4] = {0, 0, 0, 0};  // sum of |h| and |g| for each half
        for (int t = 0; t < kTaps; ++t) {
            const int32_t h = row[t] >> 1, g = row[t] - h;
            if (h < INT16_MIN || h > INT16_MAX || g < INT16_MIN || g > INT16_MAX) {
                fastRows_ = false;
                break;
            }
            hRows_[size_t(j) * 64 + t] = int16_t(h);
            gRows_[size_t(j) * 64 + t] = int16_t(g);
            bound[(t >= 32) * 2] += std::abs(h);
            bound[(t >= 32) * 2 + 1] += std::abs(g);
        }
        for (int64_t b : bound)
            if (b * 32768 > INT32_MAX) fastRows_ = false;
    }
    if (fastRows_) planes_.assign(size_t(kPlaneStride) * channels_, 0);
}

int32_t LSRCConvertRate::Scale(int64_t x) const {
    return int32_t(LScaleFrames(x, filter_.n, filter_.N));
}

void LSRCConvertRate::LoadBlock() {
    const int ch = channels_;
    int32_t* w = work_.data();
    // Keep the last 63 frames as history, back at the input scale.
    std::memmove(w, w + size_t(LSOUND_BLOCK_FRAMES) * ch, sizeof(int32_t) * kHistory * ch);
    if (shift_ > 0) {
        for (int32_t i = 0; i < kHistory * ch; ++i) w[i] = int32_t(uint32_t(w[i]) << shift_);
    }
    inner_->Read(w + size_t(kHistory) * ch, LSOUND_BLOCK_FRAMES);

    // Normalise the whole window so that every sample fits in 16 bits.
    const size_t count = size_t(kWorkFrames) * ch;
    int32_t lo = 0, hi = 0;
    for (size_t i = 0; i < count; ++i) {
        lo = std::min(lo, w[i]);
        hi = std::max(hi, w[i]);
    }
    const int64_t m = std::max<int64_t>(hi, -int64_t(lo));
    int s = 0;
    while ((m >> s) > 0x7FFF) ++s;
    shift_ = s;
    if (s > 0) {
        const int64_t round = int64_t(1) << (s - 1);
        if (hi <= INT32_MAX - round) {
            for (size_t i = 0; i < count; ++i) w[i] = (w[i] + int32_t(round)) >> s;
        } else {
            for (size_t i = 0; i < count; ++i) w[i] = int32_t((int64_t(w[i]) + round) >> s);
        }
    }
    index_ -= LSOUND_BLOCK_FRAMES;

    // Rounding can lift a sample to +32768, which only the wide path carries.
    fastBlock_ =
        fastRows_ && (s == 0 ? hi : (int64_t(hi) + (int64_t(1) << (s - 1))) >> s) <= INT16_MAX;
    if (fastBlock_) {
        int16_t* p0 = planes_.data();
        if (ch == 1) {
            for (int32_t i = 0; i < kWorkFrames; ++i) p0[i] = int16_t(w[i]);
        } else if (ch == 2) {
            int16_t* p1 = p0 + kPlaneStride;
            for (int32_t i = 0; i < kWorkFrames; ++i) {
                p0[i] = int16_t(w[2 * i]);
                p1[i] = int16_t(w[2 * i + 1]);
            }
        } else {
            for (int c = 0; c < ch; ++c) {
                int16_t* plane = p0 + size_t(c) * kPlaneStride;
                for (int32_t i = 0; i < kWorkFrames; ++i) plane[i] = int16_t(w[size_t(i) * ch + c]);
            }
        }
    }
}

void LSRCConvertRate::Read(int32_t* buffer, int32_t n) {
    const int ch = channels_;
    if (GetError() != LSRC_OK) {
        if (n > 0) std::memset(buffer, 0, sizeof(int32_t) * size_t(n) * ch);
        return;
    }
    if (n <= 0) return;
    const int32_t phases = filter_.n, step = filter_.N;
    const int32_t whole = step / phases, frac = step % phases;
    int32_t index = index_, acc = accumulator_;
    for (int32_t f = 0; f < n; ++f) {
        // Input index += accumulator div n; accumulator mod n (the accumulator of the previous
        // frame was below n, so one carry at most beyond the whole step).
        if (f == 0) {
            index += acc / phases;
            acc %= phases;
        } else {
            index += whole;
            acc += frac;
            if (acc >= phases) {
                acc -= phases;
                ++index;
            }
        }
        if (index > LSOUND_BLOCK_FRAMES - 1) {
            index_ = index;
            while (index_ > LSOUND_BLOCK_FRAMES - 1) LoadBlock();
            index = index_;
        }

        const int s = shift_;
        if (fastBlock_) {
            const int16_t* h = hRows_.data() + size_t(acc) * 64;
            const int16_t* g = gRows_.data() + size_t(acc) * 64;
            const int16_t* x = planes_.data() + index;
            if (ch == 2) {
                int32_t sums[8];
                Dot64Stereo(h, g, x, x + kPlaneStride, sums);
                *buffer++ = Finish(int64_t(sums[0]) + sums[1], int64_t(sums[2]) + sums[3], s);
                *buffer++ = Finish(int64_t(sums[4]) + sums[5], int64_t(sums[6]) + sums[7], s);
            } else {
                for (int c = 0; c < ch; ++c, x += kPlaneStride) {
                    int32_t ha, ga, hb, gb;
                    Dot32(h, g, x, ha, ga);
                    Dot32(h + 32, g + 32, x + 32, hb, gb);
                    *buffer++ = Finish(int64_t(ha) + ga, int64_t(hb) + gb, s);
                }
            }
        } else {
            // Both partial sums in 64 bits: a full-scale window overflows 32.
            const int32_t* row = filter_.Row(acc);
            const int32_t* x = work_.data() + size_t(index) * ch;
            for (int c = 0; c < ch; ++c) {
                int64_t a = 0, b = 0;
                for (int t = 0; t < 32; ++t) a += int64_t(row[t]) * x[t * ch + c];
                for (int t = 32; t < kTaps; ++t) b += int64_t(row[t]) * x[t * ch + c];
                *buffer++ = Finish(a, b, s);
            }
        }
    }
    index_ = index;
    accumulator_ = acc + step;
}

int32_t LSRCConvertRate::GetPosition() {
    return Scale(int64_t(inner_->GetPosition()) + index_ - kStartIndex);
}

int32_t LSRCConvertRate::GetEndSample() {
    int32_t end = Scale(inner_->GetEndSample());
    if (inner_->IsStreaming()) end -= delay_;
    return end;
}

void LSRCConvertRate::Seek(int32_t t) {
    const int64_t n = filter_.n, N = filter_.N;
    const int64_t in = (t / n) * N + ((t % n) * N) / n - 31;
    inner_->Seek(int32_t(std::clamp<int64_t>(in, INT32_MIN, INT32_MAX)));
    int64_t acc = ((t % n) * N) % n;
    if (acc < 0) acc += n;  // a negative target keeps the phase within its table
    accumulator_ = int32_t(acc);
    index_ = LSOUND_BLOCK_FRAMES;
    inner_->Read(work_.data() + size_t(LSOUND_BLOCK_FRAMES) * channels_, kHistory);
    shift_ = 0;
}
