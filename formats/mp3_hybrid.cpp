// Layer III hybrid filter bank: antialiasing butterflies, IMDCT with overlap-add, and synthesis.
#include <algorithm>
#include <cstring>
#include <utility>

#include "formats/mp3_layer3.h"

// Every helper of the vector paths is inlined into its caller, so that the instruction set
// of a wider path applies to all of it.
#define MP3_INLINE __attribute__((always_inline)) inline

namespace {

// Four, eight or sixteen floats at a time through the compiler's generic vectors. Loads go through
// memcpy at the point of use (no function passes a vector by value).
typedef float V4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef float V8 __attribute__((vector_size(32)));
typedef int32_t I8 __attribute__((vector_size(32)));
typedef float V16 __attribute__((vector_size(64)));
typedef int32_t I16 __attribute__((vector_size(64)));
template <class V>
struct IntVector;
template <>
struct IntVector<V4> {
    typedef I4 type;
};
template <>
struct IntVector<V8> {
    typedef I8 type;
};
template <>
struct IntVector<V16> {
    typedef I16 type;
};
#define MP3_LOAD(dst, src) std::memcpy(&(dst), (src), sizeof(dst))

// Vector registers of the target: sums beyond them would live on the stack.
#if defined(__x86_64__)
constexpr int kVectorRegisters = 16;
#else
constexpr int kVectorRegisters = 8;
#endif

// The lanes of a and b alternating: a0 b0 a1 b1 ... in first, the upper halves in second.
template <class I, std::size_t... K>
MP3_INLINE void Interleave(const I& a, const I& b, I& first, I& second, std::index_sequence<K...>) {
    constexpr int n = int(sizeof...(K));
    first = __builtin_shufflevector(a, b, ((K & 1) ? n + K / 2 : K / 2)...);
    second = __builtin_shufflevector(a, b, ((K & 1) ? n + n / 2 + K / 2 : n / 2 + K / 2)...);
}

// DCT-II, X[n] = sum_k x[k] cos((2k+1) n pi / 2N), by the even/odd split: the sums and the
// scaled differences of mirrored inputs give the even and (pairwise added) odd outputs.
// T is float, or a vector that transforms several independent inputs at once.
template <int N, class T>
MP3_INLINE void FastDct(const T* in, T* out, const float* factors) {
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        T a[N / 2], b[N / 2];
        const float* f = factors + 32 - N;
        for (int k = 0; k < N / 2; ++k) {
            a[k] = in[k] + in[N - 1 - k];
            b[k] = (in[k] - in[N - 1 - k]) * f[k];
        }
        T A[N / 2], B[N / 2];
        FastDct<N / 2>(a, A, factors);
        FastDct<N / 2>(b, B, factors);
        for (int n = 0; n < N / 2; ++n) out[2 * n] = A[n];
        for (int n = 0; n < N / 2 - 1; ++n) out[2 * n + 1] = B[n] + B[n + 1];
        out[N - 1] = B[N / 2 - 1];
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define MP3_WIDE_VECTORS 1
// The widest vectors the processor (and the system, which must save their registers) offers.
int ProcessorLanes() {
    static const int lanes = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) return 16;
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return 8;
        return 4;
    }();
    return lanes;
}
#endif

}  // namespace

int MP3Layer3::VectorLanes() {
#ifdef MP3_WIDE_VECTORS
    const int lanes = ProcessorLanes();
    return maxVectorLanes >= 16 ? lanes : std::min(lanes, maxVectorLanes >= 8 ? 8 : 4);
#else
    return 4;
#endif
}

void MP3Layer3::Dct32(const float* in, float* out) const {
    FastDct<32>(in, out, t_->dctFactor);
}

void MP3Layer3::Antialias(const MP3GranuleInfo& gi, int ch, int sbLimit) {
    const bool shortBlocks = gi.windowSwitching && gi.blockType == 2;
    int boundaries = sbLimit - 1;  // between subbands sb and sb + 1
    if (shortBlocks) {
        if (!gi.mixedBlock) return;
        boundaries = mixedLongLines_ / 18 - 1;
    }
    boundaries = std::min(boundaries, 31);
    // Four butterflies at a time; the lower subband's lines run backwards from its top.
    V4 cs[2], ca[2];
    MP3_LOAD(cs, t_->cs);
    MP3_LOAD(ca, t_->ca);
    for (int sb = 0; sb < boundaries; ++sb) {
        float* lo = xr[ch] + 18 * sb;
        float* hi = lo + 18;
        for (int h = 0; h < 2; ++h) {
            V4 a, b;
            MP3_LOAD(a, lo + 14 - 4 * h);
            MP3_LOAD(b, hi + 4 * h);
            a = __builtin_shufflevector(a, a, 3, 2, 1, 0);
            V4 na = a * cs[h] - b * ca[h];
            const V4 nb = b * cs[h] + a * ca[h];
            na = __builtin_shufflevector(na, na, 3, 2, 1, 0);
            std::memcpy(lo + 14 - 4 * h, &na, sizeof(na));
            std::memcpy(hi + 4 * h, &nb, sizeof(nb));
        }
    }
}

template <class V>
MP3_INLINE void MP3Layer3::HybridWith(const MP3GranuleInfo& gi, int ch, int sbLimit) {
    constexpr int kLanes = int(sizeof(V) / sizeof(float));
    constexpr int kRowVectors = (18 + kLanes - 1) / kLanes;
    const MP3Tables& t = *t_;
    const bool shortBlocks = gi.windowSwitching && gi.blockType == 2;
    const int longSubbands = shortBlocks ? (gi.mixedBlock ? mixedLongLines_ / 18 : 0) : 32;
    // A mixed block transforms its lowest subbands with the normal window, whatever its type
    // (start and stop blocks may carry the flag too).
    const int normalSubbands = gi.windowSwitching && gi.mixedBlock ? mixedLongLines_ / 18 : 0;
    for (int sb = 0; sb < 32; ++sb) {
        float* ov = overlap_[ch][sb];
        float* res = slots_[ch][sb];
        if (sb >= sbLimit) {
            for (int i = 0; i < 18; ++i) res[i] = ov[i];
            std::memset(ov, 0, sizeof(float) * 18);
        } else if (sb < longSubbands) {
            // 36-point IMDCT through an 18-point DCT-IV and its symmetries.
            const float* in = xr[ch] + 18 * sb;
            // Where registers allow, two sets of sums (even and odd k) halve the chain of
            // dependent additions.
            constexpr bool kSplit = 2 * kRowVectors + 2 <= kVectorRegisters;
            V acc[kRowVectors] = {}, odd[kRowVectors] = {};
            for (int k = 0; k < 18; k += 2) {
                const float v0 = in[k], v1 = in[k + 1];
                const float* c0 = t.dct18[k];
                const float* c1 = t.dct18[k + 1];
                for (int q = 0; q < kRowVectors; ++q) {
                    V cq0, cq1;
                    MP3_LOAD(cq0, c0 + kLanes * q);
                    MP3_LOAD(cq1, c1 + kLanes * q);
                    acc[q] += v0 * cq0;
                    (kSplit ? odd[q] : acc[q]) += v1 * cq1;
                }
            }
            if (kSplit)
                for (int q = 0; q < kRowVectors; ++q) acc[q] += odd[q];
            float d[kRowVectors * kLanes];
            std::memcpy(d, acc, sizeof(d));
            const int type = shortBlocks || sb < normalSubbands ? 0 : gi.blockType;
            const float* w = t.winLong[type];
            // The 36 outputs are d[9..17], -d[17..0], -d[0..8]: the first 18 (windowed) plus
            // the overlap are the result, the last 18 the new overlap. Read straight from d
            // (no array in between, whose narrow stores wide loads would wait for).
            float* __restrict r = res;
            float* __restrict o = ov;
            for (int i = 0; i < 9; ++i) r[i] = d[9 + i] * w[i] + o[i];
            for (int i = 9; i < 18; ++i) r[i] = -d[26 - i] * w[i] + o[i];
            for (int i = 0; i < 9; ++i) o[i] = -d[8 - i] * w[18 + i];
            for (int i = 9; i < 18; ++i) o[i] = -d[i - 9] * w[18 + i];
        } else {
            // Three 12-point IMDCTs overlapped at 6, 12 and 18.
            const float* in = xr[ch] + 18 * sb;
            float y[36] = {};
            for (int win = 0; win < 3; ++win) {
                float z[12] = {};
                for (int k = 0; k < 6; ++k) {
                    const float v = in[3 * k + win];
                    if (v == 0.0f) continue;
                    const float* c = t.imdct12[k];
                    for (int i = 0; i < 12; ++i) z[i] += v * c[i];
                }
                float* dst = y + 6 + 6 * win;
                for (int i = 0; i < 12; ++i) dst[i] += z[i] * t.winShort[i];
            }
            for (int i = 0; i < 18; ++i) {
                res[i] = y[i] + ov[i];
                ov[i] = y[18 + i];
            }
        }
        if (sb & 1)
            for (int i = 1; i < 18; i += 2) res[i] = -res[i];
    }
}

template <class V>
MP3_INLINE void MP3Layer3::SynthesizeWith(int nch, int32_t* out) {
    typedef typename IntVector<V>::type I;
    constexpr int kLanes = int(sizeof(V) / sizeof(float));
    static_assert((18 + kLanes - 1) / kLanes * kLanes <= kSlotStride, "slot padding");
    const MP3Tables& t = *t_;
    // The DCT of every time slot first, kLanes slots at a time in the vector lanes (in the
    // last group, the lanes past slot 17 transform the zero padding).
    float X[2][18][32];
    for (int ch = 0; ch < nch; ++ch) {
        for (int s0 = 0; s0 < 18; s0 += kLanes) {
            V in[32], res[32];
            for (int k = 0; k < 32; ++k) MP3_LOAD(in[k], slots_[ch][k] + s0);
            FastDct<32>(in, res, t.dctFactor);
            if (s0 + kLanes <= 18) {
                for (int n = 0; n < 32; ++n)
                    for (int l = 0; l < kLanes; ++l) X[ch][s0 + l][n] = res[n][l];
            } else {  // the last group: 18 % kLanes slots
                for (int n = 0; n < 32; ++n)
                    for (int l = 0; l < 18 % kLanes; ++l) X[ch][s0 + l][n] = res[n][l];
            }
        }
    }
    // The 64 values of every new slot go to the history first: the window reads them as
    // vectors, which must not wait on the single-value stores that wrote them.
    for (int ch = 0; ch < nch; ++ch) {
        for (int s = 0; s < 18; ++s) {
            // V follows from X[n] = sum_k S[k] cos((2k+1) n pi / 64) by symmetry.
            const float* x = X[ch][s];
            float* v64 = history_[ch][16 + s];
            for (int i = 0; i < 16; ++i) v64[i] = x[16 + i];
            v64[16] = 0.0f;
            for (int i = 17; i < 48; ++i) v64[i] = -x[48 - i];
            for (int i = 48; i < 64; ++i) v64[i] = -x[i - 48];
        }
    }
    constexpr int kOut = 32 / kLanes;
    constexpr bool kSplit = kOut < 8;
    constexpr int kBlock = kVectorRegisters >= 16 ? kOut : std::min(kOut, 4);
    V lo, hi;
    for (int l = 0; l < kLanes; ++l) lo[l] = -2147483520.0f, hi[l] = 2147483520.0f;
    for (int s = 0; s < 18; ++s) {
        I samples[2][kOut];
        for (int ch = 0; ch < nch; ++ch) {
            // Section sec takes the slot sec steps back from the newest (16 + s). With few
            // vectors per slot, two sets of sums (even and odd sections) halve the chain of
            // dependent additions; with many, blocks of them keep the sums in registers.
            for (int q0 = 0; q0 < kOut; q0 += kBlock) {
                V a[kBlock] = {}, odd[kBlock] = {};
                for (int sec = 0; sec < 16; sec += 2) {
                    const float* d = t.window + 32 * sec + kLanes * q0;
                    const float* v0 = history_[ch][16 + s - sec] + kLanes * q0;
                    const float* v1 = history_[ch][15 + s - sec] + 32 + kLanes * q0;
                    for (int q = 0; q < kBlock; ++q) {
                        V d0, d1, x0, x1;
                        MP3_LOAD(d0, d + kLanes * q);
                        MP3_LOAD(d1, d + 32 + kLanes * q);
                        MP3_LOAD(x0, v0 + kLanes * q);
                        MP3_LOAD(x1, v1 + kLanes * q);
                        a[q] += d0 * x0;
                        (kSplit ? odd[q] : a[q]) += d1 * x1;
                    }
                }
                // Truncation toward zero; only the int32 range is guarded, never the 16-bit
                // one (a NaN, which valid data cannot produce, becomes the lower limit).
                for (int q = 0; q < kBlock; ++q) {
                    V v = kSplit ? a[q] + odd[q] : a[q];
                    v = v > lo ? v : lo;
                    v = v < hi ? v : hi;
                    samples[ch][q0 + q] = __builtin_convertvector(v, I);
                }
            }
        }
        int32_t* o = out + s * 32 * nch;
        if (nch == 1) {
            std::memcpy(o, samples[0], sizeof(samples[0]));
        } else {
            for (int q = 0; q < kOut; ++q) {
                I first, second;
                Interleave(samples[0][q], samples[1][q], first, second,
                           std::make_index_sequence<kLanes>());
                std::memcpy(o + 2 * kLanes * q, &first, sizeof(first));
                std::memcpy(o + 2 * kLanes * q + kLanes, &second, sizeof(second));
            }
        }
    }
    // The newest 16 slots become the history of the next granule.
    for (int ch = 0; ch < nch; ++ch)
        std::memcpy(history_[ch][0], history_[ch][18], sizeof(float) * 16 * 64);
}

#ifdef MP3_WIDE_VECTORS
__attribute__((target("avx2,fma"))) void MP3Layer3::Hybrid8(const MP3GranuleInfo& gi, int ch,
                                                            int sbLimit) {
    HybridWith<V8>(gi, ch, sbLimit);
}

__attribute__((target("avx2,fma"))) void MP3Layer3::Synthesize8(int nch, int32_t* out) {
    SynthesizeWith<V8>(nch, out);
}

__attribute__((target("avx512f,avx2,fma"))) void MP3Layer3::Hybrid16(const MP3GranuleInfo& gi,
                                                                     int ch, int sbLimit) {
    HybridWith<V16>(gi, ch, sbLimit);
}

__attribute__((target("avx512f,avx2,fma"))) void MP3Layer3::Synthesize16(int nch, int32_t* out) {
    SynthesizeWith<V16>(nch, out);
}
#else
// Never called: VectorLanes() is 4 here.
void MP3Layer3::Hybrid8(const MP3GranuleInfo& gi, int ch, int sbLimit) {
    Hybrid(gi, ch, sbLimit);
}
void MP3Layer3::Synthesize8(int nch, int32_t* out) {
    Synthesize(nch, out);
}
void MP3Layer3::Hybrid16(const MP3GranuleInfo& gi, int ch, int sbLimit) {
    Hybrid(gi, ch, sbLimit);
}
void MP3Layer3::Synthesize16(int nch, int32_t* out) {
    Synthesize(nch, out);
}
#endif

void MP3Layer3::Hybrid(const MP3GranuleInfo& gi, int ch, int sbLimit) {
    const int lanes = VectorLanes();
    if (lanes == 16)
        Hybrid16(gi, ch, sbLimit);
    else if (lanes == 8)
        Hybrid8(gi, ch, sbLimit);
    else
        HybridWith<V4>(gi, ch, sbLimit);
}

void MP3Layer3::Synthesize(int nch, int32_t* out) {
    const int lanes = VectorLanes();
    if (lanes == 16)
        Synthesize16(nch, out);
    else if (lanes == 8)
        Synthesize8(nch, out);
    else
        SynthesizeWith<V4>(nch, out);
}
