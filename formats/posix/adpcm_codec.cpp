// IMA ADPCM and Microsoft ADPCM block codecs in their WAV layouts.
#include "formats/posix/adpcm_codec.h"

#include <cstdlib>
#include <cstring>

#include "support/byteorder.h"

namespace ladpcm {
namespace {

constexpr int16_t kImaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int8_t kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr int16_t kMsAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                  768, 614, 512, 409, 307, 230, 230, 230};

inline int Clamp16(int v) {
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

struct ImaChannel {
    int pred;
    int index;
    // The IMA reference arithmetic: each magnitude bit adds its shifted step, each shift
    // truncating on its own (not (2n+1)·step/8, which rounds once and drifts from it).
    inline int Expand(int n) {
        int step = kImaStep[index];
        int diff = step >> 3;
        if (n & 4) diff += step;
        if (n & 2) diff += step >> 1;
        if (n & 1) diff += step >> 2;
        pred = Clamp16((n & 8) ? pred - diff : pred + diff);
        index += kImaIndex[n];
        index = index < 0 ? 0 : (index > 88 ? 88 : index);
        return pred;
    }
    inline int Compress(int sample) {
        int step = kImaStep[index];
        int diff = sample - pred;
        int n = 0;
        if (diff < 0) {
            n = 8;
            diff = -diff;
        }
        if (diff >= step) {
            n |= 4;
            diff -= step;
        }
        step >>= 1;
        if (diff >= step) {
            n |= 2;
            diff -= step;
        }
        step >>= 1;
        if (diff >= step) n |= 1;
        Expand(n);  // the decoder's prediction, so that encoder and decoder stay in step
        return n;
    }
};

struct MsChannel {
    int coef1, coef2;
    int delta;
    int s1, s2;
    inline int Expand(int n) {
        int predicted = (s1 * coef1 + s2 * coef2) / 256;
        int signedNibble = n >= 8 ? n - 16 : n;
        int sample = Clamp16(int(int64_t(predicted) + int64_t(signedNibble) * delta));
        s2 = s1;
        s1 = sample;
        int64_t next = (int64_t(kMsAdapt[n]) * delta) >> 8;
        delta = next < 16 ? 16 : (next > (1 << 24) ? (1 << 24) : int(next));
        return sample;
    }
    inline int Compress(int sample) {
        int predicted = (s1 * coef1 + s2 * coef2) / 256;
        int err = sample - predicted;
        // Round to the nearest step, symmetric around zero.
        int q = err >= 0 ? (err + delta / 2) / delta : -((-err + delta / 2) / delta);
        q = q < -8 ? -8 : (q > 7 ? 7 : q);
        int n = q & 0x0F;
        Expand(n);
        return n;
    }
};

}  // namespace

int ImaFramesPerBlock(int blockAlign, int channels) {
    if (channels <= 0 || blockAlign < 4 * channels) return 0;
    int body = blockAlign - 4 * channels;
    if (body % (4 * channels) != 0) return 0;
    return body / (4 * channels) * 8 + 1;
}

bool ImaDecodeBlock(const uint8_t* in, int bytes, int channels, int16_t* out, int* frames) {
    *frames = 0;
    if (channels <= 0 || bytes < 4 * channels) return false;
    int groups = (bytes - 4 * channels) / (4 * channels);
    for (int c = 0; c < channels; ++c) {
        const uint8_t* h = in + 4 * c;
        if (h[2] > 88) return false;
    }
    for (int c = 0; c < channels; ++c) {
        const uint8_t* h = in + 4 * c;
        ImaChannel st{int16_t(LoadLE16(h)), h[2]};
        int16_t* o = out + c;
        *o = int16_t(st.pred);
        o += channels;
        const uint8_t* p = in + 4 * channels + 4 * c;
        for (int g = 0; g < groups; ++g, p += 4 * channels) {
            for (int b = 0; b < 4; ++b) {
                int byte = p[b];
                o[0] = int16_t(st.Expand(byte & 0x0F));
                o[channels] = int16_t(st.Expand(byte >> 4));
                o += 2 * channels;
            }
        }
    }
    *frames = 1 + groups * 8;
    return true;
}

void ImaEncodeBlock(const int16_t* in, int channels, uint8_t* out, int blockAlign,
                    uint8_t* stepIndex) {
    int groups = (blockAlign - 4 * channels) / (4 * channels);
    for (int c = 0; c < channels; ++c) {
        ImaChannel st{in[c], stepIndex[c]};
        uint8_t* h = out + 4 * c;
        StoreLE16(h, uint32_t(st.pred));
        h[2] = uint8_t(st.index);
        h[3] = 0;
        const int16_t* s = in + channels + c;
        uint8_t* p = out + 4 * channels + 4 * c;
        for (int g = 0; g < groups; ++g, p += 4 * channels) {
            for (int b = 0; b < 4; ++b) {
                int lo = st.Compress(s[0]);
                int hi = st.Compress(s[channels]);
                s += 2 * channels;
                p[b] = uint8_t(lo | (hi << 4));
            }
        }
        stepIndex[c] = uint8_t(st.index);
    }
}

const int16_t kMsCoef1[kMsStandardCoefs] = {256, 512, 0, 192, 240, 460, 392};
const int16_t kMsCoef2[kMsStandardCoefs] = {0, -256, 0, 64, 0, -208, -232};

int MsFramesPerBlock(int blockAlign, int channels) {
    if (channels <= 0 || blockAlign < 7 * channels) return 0;
    return (blockAlign - 7 * channels) * 2 / channels + 2;
}

bool MsDecodeBlock(const uint8_t* in, int bytes, int channels, const int16_t* coef1,
                   const int16_t* coef2, int numCoef, int16_t* out, int* frames) {
    *frames = 0;
    if (channels <= 0 || channels > 2 || bytes < 7 * channels) return false;
    MsChannel st[2];
    for (int c = 0; c < channels; ++c) {
        int pi = in[c];
        if (pi >= numCoef) return false;
        st[c].coef1 = coef1[pi];
        st[c].coef2 = coef2[pi];
        st[c].delta = int16_t(LoadLE16(in + channels + 2 * c));
        st[c].s1 = int16_t(LoadLE16(in + 3 * channels + 2 * c));
        st[c].s2 = int16_t(LoadLE16(in + 5 * channels + 2 * c));
        out[c] = int16_t(st[c].s2);
        out[channels + c] = int16_t(st[c].s1);
    }
    int nibbleFrames = (bytes - 7 * channels) * 2 / channels;
    const uint8_t* p = in + 7 * channels;
    int16_t* o = out + 2 * channels;
    if (channels == 1) {
        for (int i = 0; i < nibbleFrames; i += 2, ++p) {
            o[i] = int16_t(st[0].Expand(*p >> 4));
            o[i + 1] = int16_t(st[0].Expand(*p & 0x0F));
        }
    } else {
        for (int i = 0; i < nibbleFrames; ++i, ++p, o += 2) {
            o[0] = int16_t(st[0].Expand(*p >> 4));
            o[1] = int16_t(st[1].Expand(*p & 0x0F));
        }
    }
    *frames = 2 + nibbleFrames;
    return true;
}

void MsEncodeBlock(const int16_t* in, int channels, uint8_t* out, int blockAlign) {
    const int frames = MsFramesPerBlock(blockAlign, channels);
    MsChannel chosen[2];
    for (int c = 0; c < channels; ++c) {
        // Try every predictor over the whole block and keep the one with the least error.
        int64_t bestErr = -1;
        for (int pi = 0; pi < kMsStandardCoefs; ++pi) {
            MsChannel st{kMsCoef1[pi], kMsCoef2[pi], 16, in[channels + c], in[c]};
            if (frames > 4) {
                int sum = 0;
                MsChannel probe = st;
                for (int i = 2; i < 5; ++i) {
                    int predicted = (probe.s1 * probe.coef1 + probe.s2 * probe.coef2) / 256;
                    sum += std::abs(in[i * channels + c] - predicted);
                    probe.s2 = probe.s1;
                    probe.s1 = in[i * channels + c];
                }
                st.delta = sum / 12 < 16 ? 16 : sum / 12;
            }
            MsChannel run = st;
            int64_t err = 0;
            for (int i = 2; i < frames && (bestErr < 0 || err < bestErr); ++i) {
                int s = in[i * channels + c];
                run.Compress(s);
                int64_t d = s - run.s1;
                err += d * d;
            }
            if (bestErr < 0 || err < bestErr) {
                bestErr = err;
                chosen[c] = st;
                out[c] = uint8_t(pi);
            }
        }
        StoreLE16(out + channels + 2 * c, uint32_t(chosen[c].delta));
        StoreLE16(out + 3 * channels + 2 * c, uint32_t(chosen[c].s1));
        StoreLE16(out + 5 * channels + 2 * c, uint32_t(chosen[c].s2));
    }
    uint8_t* p = out + 7 * channels;
    if (channels == 1) {
        for (int i = 2; i < frames; i += 2, ++p) {
            int hi = chosen[0].Compress(in[i]);
            int lo = chosen[0].Compress(in[i + 1]);
            *p = uint8_t((hi << 4) | lo);
        }
    } else {
        for (int i = 2; i < frames; ++i, ++p) {
            int hi = chosen[0].Compress(in[2 * i]);
            int lo = chosen[1].Compress(in[2 * i + 1]);
            *p = uint8_t((hi << 4) | lo);
        }
    }
}

}  // namespace ladpcm
