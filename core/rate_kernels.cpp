// Resampler vector kernels: pair layout, rearranged rows, SSE2 and AVX2 stereo groups.
#include "core/rate_kernels.h"

#ifdef TAMBER_RATE_VECTORS
#include <cpuid.h>
#include <immintrin.h>

#include <cstddef>

namespace {

// Advances one output frame.
inline void Step(const LRateStep& s, int32_t& index, int32_t& acc) {
    index += s.whole;
    acc += s.frac;
    if (acc >= s.phases) {
        acc -= s.phases;
        ++index;
    }
}

// The finishing arithmetic on 32-bit lanes, for a = A >> 1 and b = B >> 1 (each fits in 32
// bits; their sum may not): ((a + b + 2^shift) >> (shift + 1)) taken modulo 2^32, as
// h = (a >> 1) + (b >> 1) plus the rounding of the two dropped low bits and the bias.
inline __m128i FinishSse2(__m128i a, __m128i b, int shift) {
    const __m128i one = _mm_set1_epi32(1);
    const __m128i count = _mm_cvtsi32_si128(shift);
    const __m128i h = _mm_add_epi32(_mm_srai_epi32(a, 1), _mm_srai_epi32(b, 1));
    __m128i r = _mm_add_epi32(_mm_and_si128(a, one), _mm_and_si128(b, one));
    r = _mm_srli_epi32(_mm_add_epi32(r, _mm_set1_epi32(1 << shift)), 1);
    const __m128i low = _mm_and_si128(h, _mm_set1_epi32((1 << shift) - 1));
    return _mm_add_epi32(_mm_sra_epi32(h, count), _mm_sra_epi32(_mm_add_epi32(low, r), count));
}

// A half sum from its 16-bit part and its lobe multiple: (low >> 1) + lobe * 2^14.
inline __m128i HalfSse2(__m128i low, __m128i lobe) {
    return _mm_add_epi32(_mm_srai_epi32(low, 1), _mm_slli_epi32(lobe, 14));
}

// Pairs the lanes of two frames: [L R L R] partial sums of each -> [L0 R0 L1 R1].
inline __m128i JoinSse2(__m128i f0, __m128i f1) {
    return _mm_add_epi32(_mm_unpacklo_epi64(f0, f1), _mm_unpackhi_epi64(f0, f1));
}

struct SumsSse2 {
    __m128i a, b, ka, kb;
};

inline SumsSse2 FrameSse2(const int16_t* pairs, const int16_t* rows, int32_t index, int32_t phase) {
    const auto* f = reinterpret_cast<const __m128i*>(pairs + size_t(index) * kRatePairLanes);
    const auto* c = reinterpret_cast<const __m128i*>(rows + size_t(phase) * kRateRowLanes);
    SumsSse2 s;
    s.a = _mm_madd_epi16(_mm_loadu_si128(c), _mm_loadu_si128(f));
    s.b = _mm_madd_epi16(_mm_loadu_si128(c + 1), _mm_loadu_si128(f + 1));
    for (int q = 1; q < 8; ++q) {
        s.a = _mm_add_epi32(s.a,
                            _mm_madd_epi16(_mm_loadu_si128(c + 2 * q), _mm_loadu_si128(f + 8 * q)));
        s.b = _mm_add_epi32(
            s.b, _mm_madd_epi16(_mm_loadu_si128(c + 2 * q + 1), _mm_loadu_si128(f + 8 * q + 1)));
    }
    // Taps 28-31 (the low half of entry 28) and 32-35 (the high half of entry 0).
    s.ka = _mm_madd_epi16(_mm_loadu_si128(c + 16), _mm_loadu_si128(f + 56));
    s.kb = _mm_madd_epi16(_mm_loadu_si128(c + 17), _mm_loadu_si128(f + 1));
    return s;
}

// Eight frames [L R L R | L R L R] x 2 -> [L L | L L] and [R R | R R] (frames 0 1 4 5 | 2 3 6 7).
// Also stores the eight frames as interleaved 16-bit samples.
__attribute__((target("avx2"))) inline void SplitAvx2(const int32_t* p, __m256i round,
                                                      __m128i shift, __m256i& l, __m256i& r,
                                                      int16_t* inter) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 8));
    a = _mm256_sra_epi32(_mm256_add_epi32(a, round), shift);
    b = _mm256_sra_epi32(_mm256_add_epi32(b, round), shift);
    // Frames [0 1 4 5 | 2 3 6 7] -> [0 1 2 3 | 4 5 6 7].
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(inter),
                        _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
    a = _mm256_shuffle_epi32(a, 0xD8);
    b = _mm256_shuffle_epi32(b, 0xD8);
    l = _mm256_unpacklo_epi64(a, b);
    r = _mm256_unpackhi_epi64(a, b);
}

__attribute__((target("avx2"))) int32_t NormaliseAvx2(const int32_t* w, int32_t count, int s,
                                                      int16_t* left, int16_t* right,
                                                      int16_t* inter) {
    const __m256i round = _mm256_set1_epi32(s > 0 ? 1 << (s - 1) : 0);
    const __m128i shift = _mm_cvtsi32_si128(s);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m256i l0, r0, l1, r1;
        SplitAvx2(w + 2 * size_t(i), round, shift, l0, r0, inter + 2 * size_t(i));
        SplitAvx2(w + 2 * size_t(i) + 16, round, shift, l1, r1, inter + 2 * size_t(i) + 16);
        const __m256i l = _mm256_permutevar8x32_epi32(_mm256_packs_epi32(l0, l1), order);
        const __m256i r = _mm256_permutevar8x32_epi32(_mm256_packs_epi32(r0, r1), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(left + i), l);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(right + i), r);
    }
    return i;
}

int32_t NormaliseSse2(const int32_t* w, int32_t count, int s, int16_t* left, int16_t* right) {
    const __m128i round = _mm_set1_epi32(s > 0 ? 1 << (s - 1) : 0);
    const __m128i shift = _mm_cvtsi32_si128(s);
    // Four frames [L R L R] x 2 -> [L L L L] and [R R R R].
    auto split = [&](const int32_t* p, __m128i& l, __m128i& r) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
        a = _mm_shuffle_epi32(_mm_sra_epi32(_mm_add_epi32(a, round), shift), 0xD8);
        b = _mm_shuffle_epi32(_mm_sra_epi32(_mm_add_epi32(b, round), shift), 0xD8);
        l = _mm_unpacklo_epi64(a, b);
        r = _mm_unpackhi_epi64(a, b);
    };
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i l0, r0, l1, r1;
        split(w + 2 * size_t(i), l0, r0);
        split(w + 2 * size_t(i) + 8, l1, r1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(left + i), _mm_packs_epi32(l0, l1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(right + i), _mm_packs_epi32(r0, r1));
    }
    return i;
}

}  // namespace

namespace {

void BuildPairsSse2(const int16_t* left, const int16_t* right, int16_t* pairs) {
    for (int32_t m = 0; m < kRatePairEntries; ++m) {
        const auto* l = reinterpret_cast<const __m128i*>(left + m);
        const auto* r = reinterpret_cast<const __m128i*>(right + m);
        const __m128i lo = _mm_unpacklo_epi32(_mm_loadu_si128(l), _mm_loadu_si128(r));
        const __m128i hi = _mm_unpacklo_epi32(_mm_loadu_si128(l + 4), _mm_loadu_si128(r + 4));
        auto* out = reinterpret_cast<__m128i*>(pairs + size_t(m) * kRatePairLanes);
        _mm_storeu_si128(out, lo);
        _mm_storeu_si128(out + 1, hi);
    }
}

// Entry m from the interleaved samples of frames m to m + 3 and m + 32 to m + 35: one byte
// shuffle puts each channel's pairs together.
__attribute__((target("avx2"))) void BuildPairsAvx2(const int16_t* inter, int16_t* pairs) {
    const __m256i order = _mm256_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15, 0,
                                           1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15);
    for (int32_t m = 0; m < kRatePairEntries; ++m) {
        const __m256i x =
            _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(inter + 2 * size_t(m + 32)),
                                reinterpret_cast<const __m128i*>(inter + 2 * size_t(m)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pairs + size_t(m) * kRatePairLanes),
                            _mm256_shuffle_epi8(x, order));
    }
}

}  // namespace

void LRatePrepareStereo(const int32_t* w, int32_t count, int s, int16_t* left, int16_t* right,
                        int16_t* inter, int16_t* pairs, bool wide) {
    static const bool haveAvx2 = LRateHaveAvx2();
    const bool avx2 = haveAvx2 && wide;
    int32_t i = avx2 ? NormaliseAvx2(w, count, s, left, right, inter)
                     : NormaliseSse2(w, count, s, left, right);
    const int32_t round = s > 0 ? int32_t(1) << (s - 1) : 0;
    for (; i < count; ++i) {
        left[i] = int16_t((w[2 * size_t(i)] + round) >> s);
        right[i] = int16_t((w[2 * size_t(i) + 1] + round) >> s);
        inter[2 * size_t(i)] = left[i];
        inter[2 * size_t(i) + 1] = right[i];
    }
    if (avx2)
        BuildPairsAvx2(inter, pairs);
    else
        BuildPairsSse2(left, right, pairs);
}

void LRateBuildRow(const int16_t* low, const int16_t* lobe, int16_t* row) {
    // Four taps t..t+3 of one half, each pair once per channel.
    auto spread = [](const int16_t* c, int16_t* out) {
        const int16_t order[8] = {c[0], c[1], c[0], c[1], c[2], c[3], c[2], c[3]};
        for (int i = 0; i < 8; ++i) out[i] = order[i];
    };
    for (int q = 0; q < 8; ++q) {
        spread(low + 4 * q, row + 16 * q);
        spread(low + 32 + 4 * q, row + 16 * q + 8);
    }
    spread(lobe + 4, row + 128);  // taps 28-31
    spread(lobe + 8, row + 136);  // taps 32-35
}

int32_t LRateStereoSse2(const int16_t* pairs, const int16_t* rows, const LRateStep& step, int shift,
                        int32_t& index, int32_t& acc, int32_t frames, int32_t* out) {
    int32_t i0 = index, a0 = acc, done = 0;
    while (frames - done >= 2) {
        int32_t i1 = i0, a1 = a0;
        Step(step, i1, a1);
        if (i1 > step.limit) break;
        const SumsSse2 f0 = FrameSse2(pairs, rows, i0, a0);
        const SumsSse2 f1 = FrameSse2(pairs, rows, i1, a1);
        const __m128i a = HalfSse2(JoinSse2(f0.a, f1.a), JoinSse2(f0.ka, f1.ka));
        const __m128i b = HalfSse2(JoinSse2(f0.b, f1.b), JoinSse2(f0.kb, f1.kb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), FinishSse2(a, b, shift));
        out += 4;
        done += 2;
        index = i1;
        acc = a1;
        i0 = i1;
        a0 = a1;
        Step(step, i0, a0);
        if (i0 > step.limit) break;
    }
    return done;
}

#define TAMBER_WIDE_TARGET "avx2"
#define TAMBER_WIDE_NAME(name) name##Avx2
#define TAMBER_WIDE_ACC(s, c, x) _mm256_add_epi32(s, _mm256_madd_epi16(c, x))
#include "core/rate_kernels_wide.inc"

#define TAMBER_WIDE_TARGET "avx2,avxvnni"
#define TAMBER_WIDE_NAME(name) name##Vnni
#define TAMBER_WIDE_ACC(s, c, x) _mm256_dpwssd_avx_epi32(s, c, x)
#include "core/rate_kernels_wide.inc"

bool LRateHaveAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool LRateHaveVnni() {
    // The 256-bit multiply-accumulate is bit 4 of EAX in leaf 7, sub-leaf 1.
    unsigned a = 0, b = 0, c = 0, d = 0;
    return LRateHaveAvx2() && __get_cpuid_count(7, 1, &a, &b, &c, &d) && (a >> 4 & 1) != 0;
}

#endif
