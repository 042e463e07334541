// Sample range: AVX2 where the processor has it, else SSE2 (or plain code off x86).
#include "core/sample_range.h"

#include <algorithm>

#if defined(__GNUC__) && defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define TAMBER_RANGE_VECTORS 1
#endif

namespace {

void RangePlain(const int32_t* p, size_t count, int32_t& lo, int32_t& hi) {
    for (size_t i = 0; i < count; ++i) {
        lo = std::min(lo, p[i]);
        hi = std::max(hi, p[i]);
    }
}

#ifdef TAMBER_RANGE_VECTORS
__attribute__((target("avx2"))) void RangeAvx2(const int32_t* p, size_t count, int32_t& lo,
                                               int32_t& hi) {
    __m256i l0 = _mm256_setzero_si256(), l1 = l0, h0 = l0, h1 = l0;
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 8));
        l0 = _mm256_min_epi32(l0, a);
        h0 = _mm256_max_epi32(h0, a);
        l1 = _mm256_min_epi32(l1, b);
        h1 = _mm256_max_epi32(h1, b);
    }
    alignas(32) int32_t l[8], h[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(l), _mm256_min_epi32(l0, l1));
    _mm256_store_si256(reinterpret_cast<__m256i*>(h), _mm256_max_epi32(h0, h1));
    for (int k = 0; k < 8; ++k) {
        lo = std::min(lo, l[k]);
        hi = std::max(hi, h[k]);
    }
    RangePlain(p + i, count - i, lo, hi);
}

// SSE2 has no 32-bit minimum or maximum: a comparison selects.
void RangeSse2(const int32_t* p, size_t count, int32_t& lo, int32_t& hi) {
    __m128i l = _mm_setzero_si128(), h = l;
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i below = _mm_cmplt_epi32(a, l), above = _mm_cmpgt_epi32(a, h);
        l = _mm_or_si128(_mm_and_si128(below, a), _mm_andnot_si128(below, l));
        h = _mm_or_si128(_mm_and_si128(above, a), _mm_andnot_si128(above, h));
    }
    alignas(16) int32_t lv[4], hv[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lv), l);
    _mm_store_si128(reinterpret_cast<__m128i*>(hv), h);
    for (int k = 0; k < 4; ++k) {
        lo = std::min(lo, lv[k]);
        hi = std::max(hi, hv[k]);
    }
    RangePlain(p + i, count - i, lo, hi);
}

bool HaveAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

void LSampleRange(const int32_t* samples, size_t count, int32_t& lo, int32_t& hi, bool wide) {
    lo = 0;
    hi = 0;
#ifdef TAMBER_RANGE_VECTORS
    static const bool avx2 = HaveAvx2();
    if (avx2 && wide)
        RangeAvx2(samples, count, lo, hi);
    else
        RangeSse2(samples, count, lo, hi);
#else
    RangePlain(samples, count, lo, hi);
#endif
}
