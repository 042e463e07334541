// Layer III hybrid filter bank: antialiasing butterflies, IMDCT with overlap-add, and synthesis.
#include <algorithm>
#include <cstring>

#include "formats/mp3_layer3.h"

namespace {

// DCT-II, X[n] = sum_k x[k] cos((2k+1) n pi / 2N), by the even/odd split: the sums and the
// scaled differences of mirrored inputs give the even and (pairwise added) odd outputs.
// T is float, or a vector that transforms several independent inputs at once.
template <int N, class T>
inline void FastDct(const T* in, T* out, const float* factors) {
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

template <>
inline void FastDct<1, float>(const float* in, float* out, const float*) {
    out[0] = in[0];
}

// Four floats at a time through the compiler's generic vectors (SSE on x86-64). Loads go
// through memcpy at the point of use (no function passes a vector by value).
typedef float V4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));
#define MP3_LOAD4(dst, src) std::memcpy(&(dst), (src), sizeof(V4))

template <>
inline void FastDct<1, V4>(const V4* in, V4* out, const float*) {
    out[0] = in[0];
}

}  // namespace

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
    float* x = xr[ch];
    const float* cs = t_->cs;
    const float* ca = t_->ca;
    for (int sb = 0; sb < boundaries; ++sb) {
        float* lo = x + 18 * sb + 17;
        float* hi = x + 18 * (sb + 1);
        for (int i = 0; i < 8; ++i) {
            const float a = lo[-i], b = hi[i];
            lo[-i] = a * cs[i] - b * ca[i];
            hi[i] = b * cs[i] + a * ca[i];
        }
    }
}

void MP3Layer3::Hybrid(const MP3GranuleInfo& gi, int ch, int sbLimit) {
    const MP3Tables& t = *t_;
    const bool shortBlocks = gi.windowSwitching && gi.blockType == 2;
    const int longSubbands = shortBlocks ? (gi.mixedBlock ? mixedLongLines_ / 18 : 0) : 32;
    // A mixed block transforms its lowest subbands with the normal window, whatever its type
    // (start and stop blocks may carry the flag too).
    const int normalSubbands = gi.windowSwitching && gi.mixedBlock ? mixedLongLines_ / 18 : 0;
    for (int sb = 0; sb < 32; ++sb) {
        float* ov = overlap_[ch][sb];
        float res[18];
        if (sb >= sbLimit) {
            for (int i = 0; i < 18; ++i) res[i] = ov[i];
            std::memset(ov, 0, sizeof(float) * 18);
        } else if (sb < longSubbands) {
            // 36-point IMDCT through an 18-point DCT-IV and its symmetries.
            const float* in = xr[ch] + 18 * sb;
            V4 acc[5] = {};
            for (int k = 0; k < 18; ++k) {
                const float v = in[k];
                if (v == 0.0f) continue;
                const float* c = t.dct18[k];
                for (int q = 0; q < 5; ++q) {
                    V4 cq;
                    MP3_LOAD4(cq, c + 4 * q);
                    acc[q] += v * cq;
                }
            }
            float d[20];
            std::memcpy(d, acc, sizeof(d));
            const int type = shortBlocks || sb < normalSubbands ? 0 : gi.blockType;
            const float* w = t.winLong[type];
            float y[36];
            for (int i = 0; i < 9; ++i) y[i] = d[i + 9];
            for (int i = 9; i < 27; ++i) y[i] = -d[26 - i];
            for (int i = 27; i < 36; ++i) y[i] = -d[i - 27];
            for (int i = 0; i < 18; ++i) {
                res[i] = y[i] * w[i] + ov[i];
                ov[i] = y[18 + i] * w[18 + i];
            }
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
        for (int i = 0; i < 18; ++i) slots_[ch][i][sb] = res[i];
    }
}

void MP3Layer3::Synthesize(int nch, int32_t* out) {
    const MP3Tables& t = *t_;
    // The DCT of every time slot first, four slots at a time in the vector lanes (two lanes
    // of the last group are spare).
    float X[2][20][32];
    for (int ch = 0; ch < nch; ++ch) {
        for (int s0 = 0; s0 < 20; s0 += 4) {
            V4 in[32], res[32];
            for (int k = 0; k < 32; ++k) {
                in[k] = V4{slots_[ch][s0][k], slots_[ch][s0 + 1][k],
                           s0 + 2 < 18 ? slots_[ch][s0 + 2][k] : 0.0f,
                           s0 + 3 < 18 ? slots_[ch][s0 + 3][k] : 0.0f};
            }
            FastDct<32>(in, res, t.dctFactor);
            for (int n = 0; n < 32; ++n)
                for (int l = 0; l < 4; ++l) X[ch][s0 + l][n] = res[n][l];
        }
    }
    for (int s = 0; s < 18; ++s) {
        const int slot = (slot_ - 1) & 15;
        for (int ch = 0; ch < nch; ++ch) {
            // V follows from X[n] = sum_k S[k] cos((2k+1) n pi / 64) by symmetry.
            const float* x = X[ch][s];
            float* V = fifo_[ch][slot];
            for (int i = 0; i < 16; ++i) V[i] = x[16 + i];
            V[16] = 0.0f;
            for (int i = 17; i < 48; ++i) V[i] = -x[48 - i];
            for (int i = 48; i < 64; ++i) V[i] = -x[i - 48];
            V4 a[8] = {};
            for (int sec = 0; sec < 16; ++sec) {
                const float* d = t.window + 32 * sec;
                const float* v = fifo_[ch][(slot + sec) & 15] + ((sec & 1) << 5);
                for (int q = 0; q < 8; ++q) {
                    V4 dq, vq;
                    MP3_LOAD4(dq, d + 4 * q);
                    MP3_LOAD4(vq, v + 4 * q);
                    a[q] += dq * vq;
                }
            }
            // Truncation toward zero; only the int32 range is guarded, never the 16-bit one
            // (a NaN, which valid data cannot produce, becomes the lower limit).
            const V4 lo = {-2147483520.0f, -2147483520.0f, -2147483520.0f, -2147483520.0f};
            const V4 hi = {2147483520.0f, 2147483520.0f, 2147483520.0f, 2147483520.0f};
            I4 samples[8];
            for (int q = 0; q < 8; ++q) {
                V4 v = a[q] > lo ? a[q] : lo;
                v = v < hi ? v : hi;
                samples[q] = __builtin_convertvector(v, I4);
            }
            const int32_t* sm = reinterpret_cast<const int32_t*>(samples);
            int32_t* o = out + s * 32 * nch + ch;
            if (nch == 1) {
                std::memcpy(o, sm, sizeof(samples));
            } else {
                for (int j = 0; j < 32; ++j) o[2 * j] = sm[j];
            }
        }
        slot_ = slot;
    }
}
