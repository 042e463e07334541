// Source-side resampler: block loads with normalisation, polyphase output, positions.
#include "core/convert_rate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/rate_kernels.h"
#include "core/sample_range.h"
#include "support/trace.h"

#if defined(__GNUC__)
#define TAMBER_INLINE_BODY __attribute__((always_inline)) inline
#else
#define TAMBER_INLINE_BODY inline
#endif

namespace {

constexpr int kPlaneStride = LSRCConvertRate::kWorkFrames + 1;
// Readable samples past the last plane, for the pair layout's loads.
constexpr int kPlaneTail = 16;

// A 32-byte aligned start within a vector of 16-bit values with 16 values to spare.
int16_t* Aligned32(std::vector<int16_t>& v) {
    const auto p = reinterpret_cast<uintptr_t>(v.data());
    return v.data() + ((32 - p % 32) % 32) / 2;
}

// Taps 24 to 39 carry the coefficients' multiples of 32768 (the main lobe lies there).
constexpr int kLobeFirst = 24;

// One 32-tap dot product of 16-bit coefficients and samples (the compiler turns it into
// multiply-add pairs of 16-bit lanes).
inline int32_t Dot32(const int16_t* c, const int16_t* x) {
    int32_t a = 0;
    for (int t = 0; t < 32; ++t) a += int32_t(c[t]) * x[t];
    return a;
}

inline int32_t Dot8(const int16_t* c, const int16_t* x) {
    int32_t a = 0;
    for (int t = 0; t < 8; ++t) a += int32_t(c[t]) * x[t];
    return a;
}

// For one channel: the 16-bit parts of A and B, then their lobe multiples.
inline void DotChannel(const int16_t* low, const int16_t* k, const int16_t* x, int32_t* sums,
                       int32_t* lobe) {
    sums[0] = Dot32(low, x);
    sums[1] = Dot32(low + 32, x + 32);
    lobe[0] = Dot8(k, x + kLobeFirst);
    lobe[1] = Dot8(k + 8, x + kLobeFirst + 8);
}

// ((A >> 1) + (B >> 1) + bias) >> (15 - s) for the 16-bit path, whose sums are bounded by
// 2^32 when the filter is built: the result always fits.
inline int32_t FinishBounded(int64_t a, int64_t b, int s) {
    const int64_t v = (a >> 1) + (b >> 1);
    if (s <= 14) return int32_t((v + (int64_t(1) << (14 - s))) >> (15 - s));
    return int32_t(std::clamp<int64_t>(v << (s - 15), INT32_MIN, INT32_MAX));
}

// The same on exact sums of any size.
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
    rows16_.assign(size_t(n) * 64, 0);
    lobes_.assign(size_t(n) * 16, 0);
    fastRows_ = true;
    for (int32_t j = 0; j < n && fastRows_; ++j) {
        const int32_t* row = filter_.Row(j);
        for (int half = 0; half < 2 && fastRows_; ++half) {
            int64_t small = 0, whole = 0;
            for (int t = half * 32; t < std::min(half * 32 + 32, kTaps); ++t) {
                // c = low + 32768 k with |low| <= 16384.
                const int32_t c = row[t];
                const int32_t k = (c >= 0 ? c + 16384 : c - 16383) / 32768;
                const int32_t low = c - 32768 * k;
                if (k != 0 && (t < kLobeFirst || t >= kLobeFirst + 16 || k < -2 || k > 2)) {
                    fastRows_ = false;
                    break;
                }
                if (k != 0) lobes_[size_t(j) * 16 + size_t(t - kLobeFirst)] = int16_t(k);
                rows16_[size_t(j) * 64 + size_t(t)] = int16_t(low);
                small += std::abs(low);
                whole += std::abs(c);
            }
            // Every partial sum of the 16-bit products must fit in 32 bits, and the half sum
            // itself stays below 2^32 so that the result needs no clamp.
            if (small * 32768 > INT32_MAX || whole * 32768 >= (int64_t(1) << 32)) fastRows_ = false;
        }
    }
    if (!fastRows_) return;
    planes_.assign(size_t(kPlaneStride) * channels_ + kPlaneTail, 0);
#ifdef TAMBER_RATE_VECTORS
    if (channels_ == 2) {
        pairs_.assign(size_t(kRatePairEntries) * kRatePairLanes + 16, 0);
        pairData_ = Aligned32(pairs_);
        inter_.assign(kRateInterSamples, 0);
        vrows_.assign(size_t(n) * kRateRowLanes + 16, 0);
        vrowData_ = Aligned32(vrows_);
        narrowLobe_ = true;
        for (size_t i = 0; i < lobes_.size(); ++i)
            if (lobes_[i] != 0 && (i % 16 < 4 || i % 16 >= 12)) narrowLobe_ = false;
        for (int32_t j = 0; j < n; ++j)
            LRateBuildRow(rows16_.data() + size_t(j) * 64, lobes_.data() + size_t(j) * 16,
                          vrowData_ + size_t(j) * kRateRowLanes);
    }
#endif
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
    int32_t lo, hi;
    LSampleRange(w, count, lo, hi, allowWideVectors);
    const int64_t m = std::max<int64_t>(hi, -int64_t(lo));
    int s = 0;
    while ((m >> s) > 0x7FFF) ++s;
    shift_ = s;
    const int32_t round = s > 0 ? int32_t(1) << (s - 1) : 0;
    const bool plain = hi <= INT32_MAX - round;  // (x + round) cannot overflow
    index_ -= LSOUND_BLOCK_FRAMES;

    // Rounding can lift a sample to +32768, which only the wide path carries.
    fastBlock_ = fastRows_ && (int64_t(hi) + round) >> s <= INT16_MAX;
    pairsReady_ = false;
#ifdef TAMBER_RATE_VECTORS
    if (fastBlock_ && plain && ch == 2 && narrowLobe_ && allowVectors) {
        // Only the planes and the pair layout feed the output; the work buffer keeps the
        // normalised history for the next block.
        LRatePrepareStereo(w, kWorkFrames, s, planes_.data(), planes_.data() + kPlaneStride,
                           inter_.data(), pairData_, allowWideVectors);
        for (size_t i = size_t(LSOUND_BLOCK_FRAMES) * 2; i < count; ++i) w[i] = (w[i] + round) >> s;
        pairsReady_ = true;
        return;
    }
#endif
    if (fastBlock_ && plain && ch <= 2) {
        // Normalise and fill the 16-bit planes in one pass.
        int16_t* p0 = planes_.data();
        int16_t* p1 = p0 + kPlaneStride;
        for (int32_t i = 0; i < kWorkFrames; ++i) {
            const int32_t a = (w[size_t(i) * ch] + round) >> s;
            w[size_t(i) * ch] = a;
            p0[i] = int16_t(a);
            if (ch == 2) {
                const int32_t b = (w[2 * size_t(i) + 1] + round) >> s;
                w[2 * size_t(i) + 1] = b;
                p1[i] = int16_t(b);
            }
        }
        return;
    }
    if (s > 0) {
        for (size_t i = 0; i < count; ++i) w[i] = int32_t((int64_t(w[i]) + round) >> s);
    }
    if (fastBlock_) {
        for (int c = 0; c < ch; ++c) {
            int16_t* plane = planes_.data() + size_t(c) * kPlaneStride;
            for (int32_t i = 0; i < kWorkFrames; ++i) plane[i] = int16_t(w[size_t(i) * ch + c]);
        }
    }
}

template <LSRCConvertRate::Kernel kKernel>
TAMBER_INLINE_BODY void LSRCConvertRate::ReadFrames(int32_t* buffer, int32_t n) {
    const int ch = channels_;
    const int32_t phases = filter_.n, step = filter_.N;
    const int32_t whole = step / phases, frac = step % phases;
    int32_t index = index_, acc = accumulator_;
    // Loop invariants between block loads (the output buffer may not alias them).
    const int16_t* const rows = rows16_.data();
    const int16_t* const lobes = lobes_.data();
    const int16_t* const planes = planes_.data();
    int s = shift_;
    bool fast = fastBlock_;
    const LRateStep run = {phases, whole, frac, LSOUND_BLOCK_FRAMES - 1};
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
            s = shift_;
            fast = fastBlock_;
        }
#ifdef TAMBER_RATE_VECTORS
        // Stereo frames in groups while the window stays within the block.
        if constexpr (kKernel != kPlain) {
            if (pairsReady_ && s <= 14) {
                const auto kernel = kKernel == kVnni   ? LRateStereoVnni
                                    : kKernel == kAvx2 ? LRateStereoAvx2
                                                       : LRateStereoSse2;
                const int32_t done =
                    kernel(pairData_, vrowData_, run, 14 - s, index, acc, n - f, buffer);
                if (done > 0) {
                    buffer += 2 * size_t(done);
                    f += done - 1;
                    continue;
                }
            }
        }
#endif

        if (fast) {
            // A half sum is the 16-bit dot product plus 32768 times the lobe's dot product.
            const int16_t* low = rows + size_t(acc) * 64;
            const int16_t* k = lobes + size_t(acc) * 16;
            const int16_t* x = planes + index;
            int32_t sums[4], lobe[4];
            if (ch == 2) {
                DotChannel(low, k, x, sums, lobe);
                DotChannel(low, k, x + kPlaneStride, sums + 2, lobe + 2);
                *buffer++ = FinishBounded(sums[0] + int64_t(lobe[0]) * 32768,
                                          sums[1] + int64_t(lobe[1]) * 32768, s);
                *buffer++ = FinishBounded(sums[2] + int64_t(lobe[2]) * 32768,
                                          sums[3] + int64_t(lobe[3]) * 32768, s);
            } else {
                for (int c = 0; c < ch; ++c, x += kPlaneStride) {
                    DotChannel(low, k, x, sums, lobe);
                    *buffer++ = FinishBounded(sums[0] + int64_t(lobe[0]) * 32768,
                                              sums[1] + int64_t(lobe[1]) * 32768, s);
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

#ifdef TAMBER_RATE_VECTORS
__attribute__((target("avx2"))) void LSRCConvertRate::ReadFramesWide(int32_t* buffer, int32_t n) {
    ReadFrames<kAvx2>(buffer, n);
}
__attribute__((target("avx2"))) void LSRCConvertRate::ReadFramesDots(int32_t* buffer, int32_t n) {
    ReadFrames<kVnni>(buffer, n);
}
#else
void LSRCConvertRate::ReadFramesWide(int32_t* buffer, int32_t n) {
    ReadFrames<kPlain>(buffer, n);
}
void LSRCConvertRate::ReadFramesDots(int32_t* buffer, int32_t n) {
    ReadFrames<kPlain>(buffer, n);
}
#endif

void LSRCConvertRate::Read(int32_t* buffer, int32_t n) {
    if (GetError() != LSRC_OK) {
        if (n > 0) std::memset(buffer, 0, sizeof(int32_t) * size_t(n) * channels_);
        return;
    }
    if (n <= 0) return;
#ifdef TAMBER_RATE_VECTORS
    static const bool avx2 = LRateHaveAvx2(), dots = LRateHaveVnni();
    if (allowVectors) {
        if (dots && allowWideVectors && allowVectorDots)
            ReadFramesDots(buffer, n);
        else if (avx2 && allowWideVectors)
            ReadFramesWide(buffer, n);
        else
            ReadFrames<kSse2>(buffer, n);
        return;
    }
#endif
    ReadFrames<kPlain>(buffer, n);
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
