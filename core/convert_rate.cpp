// Source-side resampler: block loads with normalisation, polyphase output, positions.
#include "core/convert_rate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "support/trace.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

#if defined(__GNUC__)
#define TAMBER_INLINE_BODY __attribute__((always_inline)) inline
#else
#define TAMBER_INLINE_BODY inline
#endif

namespace {

constexpr int kPlaneStride = LSRCConvertRate::kWorkFrames + 1;

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

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TAMBER_X86_DISPATCH 1
__attribute__((target("avx2"))) inline __m256i Dot2Avx2(const int16_t* c, const int16_t* x) {
    const auto* cv = reinterpret_cast<const __m256i*>(c);
    const auto* xv = reinterpret_cast<const __m256i*>(x);
    return _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_loadu_si256(cv), _mm256_loadu_si256(xv)),
        _mm256_madd_epi16(_mm256_loadu_si256(cv + 1), _mm256_loadu_si256(xv + 1)));
}

// Both channels with 256-bit multiply-add lanes (16 taps per instruction): sums = [lA lB rA
// rB], lobe = [lA lB rA rB] of the lobe multiples.
__attribute__((target("avx2"))) inline void DotStereoAvx2(const int16_t* low, const int16_t* k,
                                                          const int16_t* l, const int16_t* r,
                                                          int32_t* sums, int32_t* lobe) {
    const __m256i lA = Dot2Avx2(low, l), lB = Dot2Avx2(low + 32, l + 32);
    const __m256i rA = Dot2Avx2(low, r), rB = Dot2Avx2(low + 32, r + 32);
    // Pairwise adds never mix two different sums.
    const __m256i u = _mm256_hadd_epi32(_mm256_hadd_epi32(lA, lB), _mm256_hadd_epi32(rA, rB));
    const __m128i v = _mm_add_epi32(_mm256_castsi256_si128(u), _mm256_extracti128_si256(u, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), v);
    // Lobe: the low 128 bits hold taps 24-31 (A), the high ones taps 32-39 (B).
    const __m256i kv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(k));
    const __m256i lk =
        _mm256_madd_epi16(kv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(l + kLobeFirst)));
    const __m256i rk =
        _mm256_madd_epi16(kv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r + kLobeFirst)));
    const __m256i w = _mm256_hadd_epi32(_mm256_hadd_epi32(lk, rk), _mm256_setzero_si256());
    // w = [lA rA 0 0 | lB rB 0 0]
    int32_t t[8];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(t), w);
    lobe[0] = t[0];
    lobe[1] = t[4];
    lobe[2] = t[1];
    lobe[3] = t[5];
}

// A whole stereo output frame for shifts s <= 14, the finishing arithmetic done on four 64-bit
// lanes: an offset of 2^40 keeps every value positive, so logical shifts act as arithmetic ones
// (2^40 is a multiple of every divisor used here and is taken off again at the end).
__attribute__((target("avx2"))) inline void StereoFrameAvx2(const int16_t* low, const int16_t* k,
                                                            const int16_t* l, const int16_t* r,
                                                            int s, int32_t* out) {
    const __m256i lA = Dot2Avx2(low, l), lB = Dot2Avx2(low + 32, l + 32);
    const __m256i rA = Dot2Avx2(low, r), rB = Dot2Avx2(low + 32, r + 32);
    const __m256i u = _mm256_hadd_epi32(_mm256_hadd_epi32(lA, lB), _mm256_hadd_epi32(rA, rB));
    const __m128i v = _mm_add_epi32(_mm256_castsi256_si128(u), _mm256_extracti128_si256(u, 1));
    const __m256i kv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(k));
    const __m256i lk =
        _mm256_madd_epi16(kv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(l + kLobeFirst)));
    const __m256i rk =
        _mm256_madd_epi16(kv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r + kLobeFirst)));
    const __m256i w = _mm256_hadd_epi32(_mm256_hadd_epi32(lk, rk), _mm256_setzero_si256());
    // w = [lA rA 0 0 | lB rB 0 0]  ->  [lA lB rA rB]
    const __m128i lobe =
        _mm_unpacklo_epi32(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
    const __m256i offset = _mm256_set1_epi64x(int64_t(1) << 40);
    __m256i a = _mm256_add_epi64(_mm256_cvtepi32_epi64(v),
                                 _mm256_slli_epi64(_mm256_cvtepi32_epi64(lobe), 15));
    a = _mm256_srli_epi64(_mm256_add_epi64(a, offset), 1);   // A >> 1 for [lA lB rA rB]
    a = _mm256_add_epi64(a, _mm256_shuffle_epi32(a, 0x4E));  // lanes 0, 2: (A >> 1) + (B >> 1)
    a = _mm256_add_epi64(a, _mm256_set1_epi64x(int64_t(1) << (14 - s)));
    a = _mm256_srl_epi64(a, _mm_cvtsi32_si128(15 - s));
    a = _mm256_sub_epi64(a, _mm256_set1_epi64x((int64_t(1) << 40) >> (15 - s)));
    out[0] = _mm256_extract_epi32(a, 0);
    out[1] = _mm256_extract_epi32(a, 4);
}

bool HaveAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

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
    const int32_t round = s > 0 ? int32_t(1) << (s - 1) : 0;
    const bool plain = hi <= INT32_MAX - round;  // (x + round) cannot overflow
    index_ -= LSOUND_BLOCK_FRAMES;

    // Rounding can lift a sample to +32768, which only the wide path carries.
    fastBlock_ = fastRows_ && (int64_t(hi) + round) >> s <= INT16_MAX;
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

template <bool kWide>
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

        if (fast) {
            // A half sum is the 16-bit dot product plus 32768 times the lobe's dot product.
            const int16_t* low = rows + size_t(acc) * 64;
            const int16_t* k = lobes + size_t(acc) * 16;
            const int16_t* x = planes + index;
            int32_t sums[4], lobe[4];
            if (ch == 2) {
                const int16_t* r = x + kPlaneStride;
#ifdef TAMBER_X86_DISPATCH
                if constexpr (kWide) {
                    if (s <= 14) {
                        StereoFrameAvx2(low, k, x, r, s, buffer);
                        buffer += 2;
                        continue;
                    }
                    DotStereoAvx2(low, k, x, r, sums, lobe);
                } else {
                    DotChannel(low, k, x, sums, lobe);
                    DotChannel(low, k, r, sums + 2, lobe + 2);
                }
#else
                DotChannel(low, k, x, sums, lobe);
                DotChannel(low, k, r, sums + 2, lobe + 2);
#endif
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

#ifdef TAMBER_X86_DISPATCH
__attribute__((target("avx2"))) void LSRCConvertRate::ReadFramesWide(int32_t* buffer, int32_t n) {
    ReadFrames<true>(buffer, n);
}
#else
void LSRCConvertRate::ReadFramesWide(int32_t* buffer, int32_t n) {
    ReadFrames<false>(buffer, n);
}
#endif

void LSRCConvertRate::Read(int32_t* buffer, int32_t n) {
    if (GetError() != LSRC_OK) {
        if (n > 0) std::memset(buffer, 0, sizeof(int32_t) * size_t(n) * channels_);
        return;
    }
    if (n <= 0) return;
#ifdef TAMBER_X86_DISPATCH
    static const bool avx2 = HaveAvx2();
    if (avx2 && allowWideVectors) {
        ReadFramesWide(buffer, n);
        return;
    }
#endif
    ReadFrames<false>(buffer, n);
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
