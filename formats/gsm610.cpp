// GSM 06.10 RPE-LTP encoder and decoder with the program's own fixed-point arithmetic.
#include "formats/gsm610.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Standard tables of GSM 06.10.
constexpr int16_t kA[8] = {20480, 20480, 20480, 20480, 13964, 15360, 8534, 9036};
constexpr int16_t kB[8] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
constexpr int16_t kMIC[8] = {-32, -32, -16, -16, -8, -8, -4, -4};
constexpr int16_t kMAC[8] = {31, 31, 15, 15, 7, 7, 3, 3};
constexpr int16_t kQLB[4] = {3277, 11469, 21299, 32767};
constexpr int16_t kNRFAC[8] = {29128, 26215, 23832, 21846, 20165, 18725, 17476, 16384};
constexpr int32_t kMant[8] = {18432, 20480, 22528, 24576, 26624, 28672, 30720, 32768};
constexpr int16_t kH[11] = {-134, -374, 0, 2054, 5741, 8192, 5741, 2054, 0, -374, -134};
constexpr int kLARBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};

inline int16_t Sat16(int64_t v) {
    return int16_t(std::clamp<int64_t>(v, -32768, 32767));
}
inline int16_t Add(int16_t a, int16_t b) {
    return Sat16(int32_t(a) + b);
}
inline int16_t Sub(int16_t a, int16_t b) {
    return Sat16(int32_t(a) - b);
}
// Rounded Q15 product.
inline int16_t MultR(int16_t a, int16_t b) {
    return Sat16((int32_t(a) * b + 16384) >> 15);
}
// Rounded Q15 product where a is known not to be -32768 (no saturation needed).
inline int16_t MultRCoef(int16_t a, int16_t b) {
    return int16_t((int32_t(a) * b + 16384) >> 15);
}
// Truncated Q15 product.
inline int16_t Mult(int16_t a, int16_t b) {
    return Sat16((int32_t(a) * b) >> 15);
}

// num / denom in Q15 for 0 <= num <= denom, denom > 0.
int16_t Div(int32_t num, int32_t denom) {
    int32_t q = 0;
    for (int k = 0; k < 15; ++k) {
        q <<= 1;
        num <<= 1;
        if (num >= denom) {
            num -= denom;
            ++q;
        }
    }
    return int16_t(q);
}

// 1. Offset compensation and pre-emphasis of internal samples into 16-bit values.
void Preprocess(const int32_t* in, int16_t* s, int32_t& prevIn, int64_t& acc, int32_t& prevPre) {
    for (int k = 0; k < 160; ++k) {
        const int64_t x = in[k];
        acc = (x - prevIn) * 1024 + acc;
        prevIn = int32_t(x);
        const int64_t y = (acc + 512) >> 10;
        acc -= y;
        const int64_t e = (y - ((int64_t(prevPre) * 880 + 512) >> 10) + 16) >> 5;
        prevPre = int32_t(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX));
        s[k] = Sat16(e);
    }
}

// 2. Autocorrelation for lags 0..8 with the running shift.
void Autocorrelation(const int16_t* s, int64_t* acf) {
    int shift = 2;
    constexpr int64_t kLimit = (int64_t(1) << 30) - 1;
    for (int k = 0; k <= 8; ++k) {
        int64_t sum = 0;
        int i = k;
        while (i < 160) {
            const int end = std::min(i + 4, 160);
            for (; i < end; ++i) sum += (int32_t(s[i]) * s[i - k]) >> shift;
            while (sum >= kLimit || sum <= -kLimit) {
                sum >>= 1;
                for (int j = 0; j < k; ++j) acf[j] >>= 1;
                ++shift;
            }
        }
        acf[k] = sum;
    }
}

// 3. Reflection coefficients by the Schur recursion.
void Reflection(const int64_t* lacf, int16_t* r) {
    if (lacf[0] <= 0) {
        std::memset(r, 0, 8 * sizeof(int16_t));
        return;
    }
    // One common left shift bringing lag 0 into [2^30, 2^31).
    int shift = 0;
    for (int64_t v = lacf[0]; v < (int64_t(1) << 30);) {
        const int step = v < (int64_t(1) << 26) ? 4 : 1;
        v <<= step;
        shift += step;
    }
    int16_t acf[9];
    for (int k = 0; k <= 8; ++k) acf[k] = Sat16((lacf[k] * (int64_t(1) << shift)) >> 16);

    int16_t P[9], K[9];
    for (int i = 0; i <= 8; ++i) P[i] = acf[i];
    for (int i = 1; i <= 7; ++i) K[9 - i] = acf[i];
    for (int n = 1; n <= 8; ++n) {
        const int32_t p1 = std::abs(int32_t(P[1]));
        if (P[0] < p1 || P[0] <= 0) {
            for (int i = n; i <= 8; ++i) r[i - 1] = 0;
            return;
        }
        int16_t rn = Div(p1, P[0]);
        if (P[1] > 0) rn = int16_t(-rn);
        r[n - 1] = rn;
        if (n == 8) return;
        P[0] = Add(P[0], MultR(P[1], rn));
        for (int m = 1; m <= 8 - n; ++m) {
            P[m] = Add(P[m + 1], MultR(K[9 - m], rn));
            K[9 - m] = Add(K[9 - m], MultR(P[m + 1], rn));
        }
    }
}

// 4. Reflection coefficients -> LARs -> quantised LARc (stored as LARc - MIC).
void QuantiseLARs(const int16_t* r, int16_t* LARc) {
    for (int i = 0; i < 8; ++i) {
        int32_t t = std::abs(int32_t(r[i]));
        if (t < 22118)
            t >>= 1;
        else if (t < 31130)
            t -= 11059;
        else
            t = (t - 26112) << 2;
        const int16_t lar = Sat16(r[i] < 0 ? -t : t);
        int16_t q = Mult(kA[i], lar);
        q = Add(q, kB[i]);
        q = Add(q, 256);
        int16_t c = int16_t(q >> 9);
        c = std::clamp<int16_t>(c, kMIC[i], kMAC[i]);
        LARc[i] = int16_t(c - kMIC[i]);
    }
}

// 5. Decoded LARs.
void DecodeLARs(const int16_t* LARc, int16_t* LARpp) {
    for (int i = 0; i < 8; ++i) {
        const int32_t c = int32_t(LARc[i] & 0x3F) + kMIC[i];
        LARpp[i] = Sat16(((c * 512 - kB[i]) * 32768) / kA[i]);
    }
}

// Interpolated LARs for one of the four sample ranges, converted to reflection coefficients.
void InterpolatedRp(const int16_t* prev, const int16_t* cur, int range, int16_t* rp) {
    for (int i = 0; i < 8; ++i) {
        int16_t lar;
        switch (range) {
            case 0:
                lar = Add(Add(int16_t(prev[i] >> 2), int16_t(cur[i] >> 2)), int16_t(prev[i] >> 1));
                break;
            case 1:
                lar = Add(int16_t(prev[i] >> 1), int16_t(cur[i] >> 1));
                break;
            case 2:
                lar = Add(Add(int16_t(prev[i] >> 2), int16_t(cur[i] >> 2)), int16_t(cur[i] >> 1));
                break;
            default:
                lar = cur[i];
                break;
        }
        int32_t t = std::abs(int32_t(lar));
        if (t < 11059)
            t <<= 1;
        else if (t < 20070)
            t += 11059;
        else
            t = std::min((t >> 2) + 26112, 32767);
        rp[i] = int16_t(lar < 0 ? -t : t);
    }
}

constexpr int kRangeStart[5] = {0, 13, 27, 40, 160};

// Exponent and mantissa of a coded block maximum.
void ExpMant(int16_t xmaxc, int& exp, int& mant) {
    exp = 0;
    if (xmaxc > 15) exp = (xmaxc >> 3) - 1;
    mant = xmaxc - (exp << 3);
    if (mant == 0) {
        exp = -4;
        mant = 7;
    } else {
        while (mant <= 7) {
            mant = mant << 1 | 1;
            --exp;
        }
        mant -= 8;
    }
}

// Decoded APCM pulse amplitudes from xmaxc and xMc.
void InverseAPCM(int16_t xmaxc, const int16_t* xMc, int16_t* xMp) {
    int exp, mant;
    ExpMant(xmaxc, exp, mant);
    const int32_t fac = (kMant[mant] >> (6 - exp)) - 1;
    for (int i = 0; i < 13; ++i) {
        const int32_t q = (2 * int32_t(xMc[i] & 7) - 7) * 4096;
        xMp[i] = Sat16((int64_t(fac) * q + 16384) >> 15);
    }
}

// 7. Long-term prediction parameters of one subframe; d: 40 residual samples, dp: history
// pointer such that dp[-120..-1] are the previous reconstructed samples.
void LTPParameters(const int16_t* d, const int16_t* dp, int16_t& Nc, int16_t& bc) {
    int32_t dmax = 0;
    for (int k = 0; k < 40; ++k) dmax = std::max(dmax, std::abs(int32_t(d[k])));
    int sh = 0;
    while ((dmax >> sh) * 120 > 0xFFFF) ++sh;
    int16_t wt[40];
    for (int k = 0; k < 40; ++k) wt[k] = int16_t(d[k] >> sh);
    // |wt| * 120 <= 0xFFFF keeps each 40-term sum well inside 32 bits.
    int32_t best = 0;
    int lag = 40;
    for (int lambda = 40; lambda <= 120; ++lambda) {
        int32_t sum = 0;
        const int16_t* past = dp - lambda;
        for (int k = 0; k < 40; ++k) sum += int32_t(wt[k]) * past[k];
        if (lambda == 40 || sum > best) {
            best = sum;
            lag = lambda;
        }
    }
    Nc = int16_t(lag);
    int64_t R = 0, power = 0;
    for (int k = 0; k < 40; ++k) {
        R += int64_t(d[k]) * dp[k - lag];
        power += int64_t(dp[k - lag]) * dp[k - lag];
    }
    if (R <= power / 5)
        bc = 0;
    else if (R <= power / 2)
        bc = 1;
    else if (R <= power - power / 5)
        bc = 2;
    else
        bc = 3;
}

// 8. RPE encoding of the 40-sample LTP residual e; returns the reconstructed residual in ep.
void RPEEncode(const int16_t* e, int16_t& Mc, int16_t& xmaxc, int16_t* xMc, int16_t* ep) {
    int16_t padded[50] = {};
    std::memcpy(padded + 5, e, 40 * sizeof(int16_t));
    int16_t x[40];
    for (int k = 0; k < 40; ++k) {
        int32_t sum = 0;
        for (int i = 0; i < 11; ++i) sum += int32_t(kH[i]) * padded[k + 10 - i];
        x[k] = int16_t(std::clamp<int64_t>((8192 + 2 * int64_t(sum)) >> 14, -32767, 32767));
    }
    int64_t bestEnergy = -1;
    int grid = 0;
    for (int m = 0; m < 4; ++m) {
        int64_t energy = 0;
        for (int i = 0; i < 13; ++i) energy += (int64_t(x[m + 3 * i]) * x[m + 3 * i]) >> 2;
        if (energy > bestEnergy) {
            bestEnergy = energy;
            grid = m;
        }
    }
    Mc = int16_t(grid);
    int16_t xM[13];
    int32_t xmax = 0;
    for (int i = 0; i < 13; ++i) {
        xM[i] = x[grid + 3 * i];
        xmax = std::max(xmax, std::abs(int32_t(xM[i])));
    }
    int exp = 0;
    int32_t t = xmax >> 9;
    bool itest = false;
    for (int i = 0; i < 6; ++i) {
        itest = itest || t <= 0;
        t >>= 1;
        if (!itest) ++exp;
    }
    xmaxc = int16_t(std::min((xmax >> (exp + 5)) + (exp << 3), 63));
    int mant;
    ExpMant(xmaxc, exp, mant);
    const int64_t fac = int64_t(kNRFAC[mant]) << (6 - exp);
    for (int i = 0; i < 13; ++i) {
        const int64_t q = ((fac * xM[i]) >> 27) + 4;
        xMc[i] = int16_t(std::clamp<int64_t>(q, 0, 7));
    }
    int16_t xMp[13];
    InverseAPCM(xmaxc, xMc, xMp);
    std::memset(ep, 0, 40 * sizeof(int16_t));
    for (int i = 0; i < 13; ++i) ep[grid + 3 * i] = xMp[i];
}

// Bit writer and reader for the two frame packings.
struct BitsMSB {
    uint8_t* out;
    int pos = 0;
    void Put(int value, int bits) {
        for (int b = bits - 1; b >= 0; --b, ++pos) {
            if (value >> b & 1)
                out[pos >> 3] |= uint8_t(0x80 >> (pos & 7));
            else
                out[pos >> 3] &= uint8_t(~(0x80 >> (pos & 7)));
        }
    }
};
struct BitsMSBIn {
    const uint8_t* in;
    int pos = 0;
    int16_t Get(int bits) {
        int v = 0;
        for (int b = 0; b < bits; ++b, ++pos) v = v << 1 | (in[pos >> 3] >> (7 - (pos & 7)) & 1);
        return int16_t(v);
    }
};
struct BitsLSB {
    uint8_t* out;
    int pos = 0;
    void Put(int value, int bits) {
        for (int b = 0; b < bits; ++b, ++pos) {
            if (value >> b & 1)
                out[pos >> 3] |= uint8_t(1 << (pos & 7));
            else
                out[pos >> 3] &= uint8_t(~(1 << (pos & 7)));
        }
    }
};
struct BitsLSBIn {
    const uint8_t* in;
    int pos = 0;
    int16_t Get(int bits) {
        int v = 0;
        for (int b = 0; b < bits; ++b, ++pos) v |= (in[pos >> 3] >> (pos & 7) & 1) << b;
        return int16_t(v);
    }
};

template <class W>
void PutParams(W& w, const LGSMParams& p) {
    for (int i = 0; i < 8; ++i) w.Put(p.LARc[i], kLARBits[i]);
    for (int j = 0; j < 4; ++j) {
        w.Put(p.Nc[j], 7);
        w.Put(p.bc[j], 2);
        w.Put(p.Mc[j], 2);
        w.Put(p.xmaxc[j], 6);
        for (int i = 0; i < 13; ++i) w.Put(p.xMc[j][i], 3);
    }
}

template <class R>
void GetParams(R& r, LGSMParams& p) {
    for (int i = 0; i < 8; ++i) p.LARc[i] = r.Get(kLARBits[i]);
    for (int j = 0; j < 4; ++j) {
        p.Nc[j] = r.Get(7);
        p.bc[j] = r.Get(2);
        p.Mc[j] = r.Get(2);
        p.xmaxc[j] = r.Get(6);
        for (int i = 0; i < 13; ++i) p.xMc[j][i] = r.Get(3);
    }
}

}  // namespace

void LGSMFrame::Reset() {
    prevIn_ = 0;
    offsetAcc_ = 0;
    prevPre_ = 0;
    std::memset(encLARpp_, 0, sizeof encLARpp_);
    std::memset(u_, 0, sizeof u_);
    std::memset(dp_, 0, sizeof dp_);
    std::memset(decLARpp_, 0, sizeof decLARpp_);
    std::memset(v_, 0, sizeof v_);
    std::memset(drp_, 0, sizeof drp_);
    lastLag_ = 40;
    deemph_ = 0;
}

void LGSMFrame::Encode(const int32_t* samples, LGSMParams& p) {
    int16_t s[160];
    Preprocess(samples, s, prevIn_, offsetAcc_, prevPre_);

    int64_t lacf[9];
    Autocorrelation(s, lacf);
    int16_t r[8];
    Reflection(lacf, r);
    QuantiseLARs(r, p.LARc);
    int16_t LARpp[8];
    DecodeLARs(p.LARc, LARpp);

    // 6. Short-term analysis filtering: s -> d.
    int16_t d[160];
    for (int range = 0; range < 4; ++range) {
        int16_t rp[8];
        InterpolatedRp(encLARpp_, LARpp, range, rp);
        for (int k = kRangeStart[range]; k < kRangeStart[range + 1]; ++k) {
            int16_t di = s[k];
            int16_t sav = di;
            for (int i = 0; i < 8; ++i) {
                const int16_t temp = Add(u_[i], MultRCoef(rp[i], di));
                di = Add(di, MultRCoef(rp[i], u_[i]));
                u_[i] = sav;
                sav = temp;
            }
            d[k] = di;
        }
    }
    std::memcpy(encLARpp_, LARpp, sizeof LARpp);

    // 7-8. Per subframe: long-term prediction and RPE coding; dp_ keeps the reconstruction.
    for (int j = 0; j < 4; ++j) {
        int16_t* dp = dp_ + 120 + 40 * j;
        const int16_t* dj = d + 40 * j;
        LTPParameters(dj, dp, p.Nc[j], p.bc[j]);
        const int16_t b = kQLB[p.bc[j]];
        int16_t dpp[40], e[40], ep[40];
        for (int k = 0; k < 40; ++k) {
            dpp[k] = MultR(b, dp[k - p.Nc[j]]);
            e[k] = Sub(dj[k], dpp[k]);
        }
        RPEEncode(e, p.Mc[j], p.xmaxc[j], p.xMc[j], ep);
        for (int k = 0; k < 40; ++k) dp[k] = Add(ep[k], dpp[k]);
    }
    std::memmove(dp_, dp_ + 160, 120 * sizeof(int16_t));
}

void LGSMFrame::Decode(const LGSMParams& p, int32_t* samples) {
    int16_t wt[160];
    for (int j = 0; j < 4; ++j) {
        int16_t Nr = p.Nc[j];
        if (Nr < 40 || Nr > 120) Nr = lastLag_;
        lastLag_ = Nr;
        const int16_t b = kQLB[p.bc[j] & 3];
        int16_t xMp[13];
        InverseAPCM(int16_t(p.xmaxc[j] & 0x3F), p.xMc[j], xMp);
        int16_t erp[40] = {};
        const int grid = p.Mc[j] & 3;
        for (int i = 0; i < 13; ++i) erp[grid + 3 * i] = xMp[i];
        int16_t* drp = drp_ + 120 + 40 * j;
        for (int k = 0; k < 40; ++k) {
            drp[k] = Add(erp[k], MultR(b, drp[k - Nr]));
            wt[40 * j + k] = drp[k];
        }
    }
    std::memmove(drp_, drp_ + 160, 120 * sizeof(int16_t));

    int16_t LARpp[8];
    DecodeLARs(p.LARc, LARpp);
    // Filter memory and de-emphasis in locals: the output may not alias them.
    int16_t v[9];
    std::memcpy(v, v_, sizeof v);
    int32_t prev = deemph_;
    for (int range = 0; range < 4; ++range) {
        int16_t rrp[8];
        InterpolatedRp(decLARpp_, LARpp, range, rrp);
        for (int k = kRangeStart[range]; k < kRangeStart[range + 1]; ++k) {
            int16_t sri = wt[k];
            for (int i = 7; i >= 0; --i) {
                sri = Sub(sri, MultRCoef(rrp[i], v[i]));
                v[i + 1] = Add(v[i], MultRCoef(rrp[i], sri));
            }
            v[0] = sri;
            prev = int32_t(((int64_t(prev) * 880 + 512) >> 10) + int64_t(sri) * 32);
            samples[k] = prev;
        }
    }
    std::memcpy(v_, v, sizeof v);
    deemph_ = prev;
    std::memcpy(decLARpp_, LARpp, sizeof LARpp);
}

void LGSMFrame::EncodeNormal(const int32_t* samples, uint8_t* frame) {
    LGSMParams p;
    Encode(samples, p);
    PackNormal(p, frame);
}

void LGSMFrame::DecodeNormal(const uint8_t* frame, int32_t* samples) {
    LGSMParams p;
    UnpackNormal(frame, p);
    Decode(p, samples);
}

void LGSMFrame::EncodeWav49(const int32_t* samples, uint8_t* block) {
    LGSMParams a, b;
    Encode(samples, a);
    Encode(samples + kSamples, b);
    PackWav49(a, b, block);
}

void LGSMFrame::DecodeWav49(const uint8_t* block, int32_t* samples) {
    LGSMParams a, b;
    UnpackWav49(block, a, b);
    Decode(a, samples);
    Decode(b, samples + kSamples);
}

void LGSMFrame::PackNormal(const LGSMParams& p, uint8_t* frame) {
    BitsMSB w{frame};
    w.Put(0xD, 4);
    PutParams(w, p);
}

void LGSMFrame::UnpackNormal(const uint8_t* frame, LGSMParams& p) {
    BitsMSBIn r{frame};
    r.Get(4);  // signature, ignored
    GetParams(r, p);
}

void LGSMFrame::PackWav49(const LGSMParams& first, const LGSMParams& second, uint8_t* block) {
    BitsLSB w{block};
    PutParams(w, first);
    PutParams(w, second);
}

void LGSMFrame::UnpackWav49(const uint8_t* block, LGSMParams& first, LGSMParams& second) {
    BitsLSBIn r{block};
    GetParams(r, first);
    GetParams(r, second);
}
