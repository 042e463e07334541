// Layer III published constants (bands, pretab, slen, partitions, window) and the derived tables.
#include "formats/mp3_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const int32_t kMP3SynthWindow[512] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,     -3,
    -3,     -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,     -10,    -11,
    -13,    -14,    -16,    -17,    -19,    -21,    -24,    -26,    -29,    -31,    -35,    -38,
    -41,    -45,    -49,    -53,    -58,    -63,    -68,    -73,    -79,    -85,    -91,    -97,
    -104,   -111,   -117,   -125,   -132,   -139,   -147,   -154,   -161,   -169,   -176,   -183,
    -190,   -196,   -202,   -208,   213,    218,    222,    225,    227,    228,    228,    227,
    224,    221,    215,    208,    200,    189,    177,    163,    146,    127,    106,    83,
    57,     29,     -2,     -36,    -72,    -111,   -153,   -197,   -244,   -294,   -347,   -401,
    -459,   -519,   -581,   -645,   -711,   -779,   -848,   -919,   -991,   -1064,  -1137,  -1210,
    -1283,  -1356,  -1428,  -1498,  -1567,  -1634,  -1698,  -1759,  -1817,  -1870,  -1919,  -1962,
    -2001,  -2032,  -2057,  -2075,  -2085,  -2087,  -2080,  -2063,  2037,   2000,   1952,   1893,
    1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,    185,
    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,  -3004,  -3351,
    -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,  -6935,  -7271,  -7597,
    -7910,  -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,  -9727,  -9838,  -9916,  -9959,
    -9966,  -9935,  -9863,  -9750,  -9592,  -9389,  -9139,  -8840,  -8492,  -8092,  -7640,  -7134,
    6574,   5959,   5288,   4561,   3776,   2935,   2037,   1082,   70,     -998,   -2122,  -3300,
    -4533,  -5818,  -7154,  -8540,  -9975,  -11455, -12980, -14548, -16155, -17799, -19478, -21189,
    -22929, -24694, -26482, -28289, -30112, -31947, -33791, -35640, -37489, -39336, -41176, -43006,
    -44821, -46617, -48390, -50137, -51853, -53534, -55178, -56778, -58333, -59838, -61289, -62684,
    -64019, -65290, -66494, -67629, -68692, -69679, -70590, -71420, -72169, -72835, -73415, -73908,
    -74313, -74630, -74856, -74992, 75038,  74992,  74856,  74630,  74313,  73908,  73415,  72835,
    72169,  71420,  70590,  69679,  68692,  67629,  66494,  65290,  64019,  62684,  61289,  59838,
    58333,  56778,  55178,  53534,  51853,  50137,  48390,  46617,  44821,  43006,  41176,  39336,
    37489,  35640,  33791,  31947,  30112,  28289,  26482,  24694,  22929,  21189,  19478,  17799,
    16155,  14548,  12980,  11455,  9975,   8540,   7154,   5818,   4533,   3300,   2122,   998,
    -70,    -1082,  -2037,  -2935,  -3776,  -4561,  -5288,  -5959,  6574,   7134,   7640,   8092,
    8492,   8840,   9139,   9389,   9592,   9750,   9863,   9935,   9966,   9959,   9916,   9838,
    9727,   9585,   9416,   9219,   8998,   8755,   8491,   8209,   7910,   7597,   7271,   6935,
    6589,   6237,   5879,   5517,   5153,   4788,   4425,   4063,   3705,   3351,   3004,   2663,
    2330,   2006,   1692,   1388,   1095,   814,    545,    288,    45,     -185,   -402,   -605,
    -794,   -970,   -1131,  -1280,  -1414,  -1535,  -1644,  -1739,  -1822,  -1893,  -1952,  -2000,
    2037,   2063,   2080,   2087,   2085,   2075,   2057,   2032,   2001,   1962,   1919,   1870,
    1817,   1759,   1698,   1634,   1567,   1498,   1428,   1356,   1283,   1210,   1137,   1064,
    991,    919,    848,    779,    711,    645,    581,    519,    459,    401,    347,    294,
    244,    197,    153,    111,    72,     36,     2,      -29,    -57,    -83,    -106,   -127,
    -146,   -163,   -177,   -189,   -200,   -208,   -215,   -221,   -224,   -227,   -228,   -228,
    -227,   -225,   -222,   -218,   213,    208,    202,    196,    190,    183,    176,    169,
    161,    154,    147,    139,    132,    125,    117,    111,    104,    97,     91,     85,
    79,     73,     68,     63,     58,     53,     49,     45,     41,     38,     35,     31,
    29,     26,     24,     21,     19,     17,     16,     14,     13,     11,     10,     9,
    8,      7,      7,      6,      5,      5,      4,      4,      3,      3,      2,      2,
    2,      2,      1,      1,      1,      1,      1,      1,
};

const MP3BandTable kMP3Bands[9] = {
    // MPEG-1: 44100, 48000, 32000 Hz.
    {{0,  4,  8,   12,  16,  20,  24,  30,  36,  44,  52, 62,
      74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
     {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192}},
    {{0,  4,  8,   12,  16,  20,  24,  30,  36,  42,  50, 60,
      72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
     {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192}},
    {{0,  4,   8,   12,  16,  20,  24,  30,  36,  44,  54, 66,
      82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
     {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}},
    // MPEG-2: 22050, 24000, 16000 Hz.
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192}},
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192}},
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    // MPEG-2.5: 11025 and 12000 Hz share the 16000 Hz bands; 8000 Hz has its own.
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
      116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    {{0,   12,  24,  36,  48,  60,  72,  88,  108, 132, 160, 192,
      232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576},
     {0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192}},
};

const uint8_t kMP3Pretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

const uint8_t kMP3Slen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                                 {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};

const uint8_t kMP3PartitionSizes[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},
    {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}},
    {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},
    {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};

const double kMP3AliasCi[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

namespace {

constexpr int kHuffStoreSize = int(sizeof(MP3Tables::huffStore) / sizeof(uint32_t));
constexpr double kPi = 3.14159265358979323846;

// A leaf for code i of length len whose next `rest` bits in the stream (after the code) are
// `after`. Sign bits are folded in when they fit and no linbits follow.
uint32_t HuffLeaf(const MP3HuffCodeTable& t, bool quad, int i, int len, uint32_t after, int rest) {
    if (quad) {
        const int signs = __builtin_popcount(unsigned(i));
        if (signs > rest) return 0;  // cannot happen: the lookup is sized for all four
        uint32_t e = uint32_t(len + signs);
        int used = 0;
        for (int k = 0; k < 4; ++k) {
            if (!((i >> (3 - k)) & 1)) continue;
            const uint32_t minus = (after >> (rest - 1 - used++)) & 1;
            e |= (minus ? 2u : 1u) << (12 - 2 * k);
        }
        return e;
    }
    const int x = i / t.xlen, y = i % t.xlen;
    const bool escape = t.linbits && (x == 15 || y == 15);
    const int signs = (x != 0) + (y != 0);
    if (escape || signs > rest) return uint32_t(len | (x << 11) | (y << 6));
    uint32_t e = kMP3HuffSigned | uint32_t(len + signs) | uint32_t((x << 11) | (y << 6));
    int used = 0;
    if (x) e |= ((after >> (rest - 1 - used++)) & 1) << 15;
    if (y) e |= ((after >> (rest - 1 - used++)) & 1) << 10;
    return e;
}

// The subtable size (in bits) behind one first-level prefix: enough for its longest code.
int SubtableBits(const MP3HuffCodeTable& t, int n, int first, int prefix) {
    int subBits = 0;
    for (int i = 0; i < n; ++i) {
        const int len = t.lens[i];
        if (len > first && (t.codes[i] >> (len - first)) == prefix && len - first > subBits)
            subBits = len - first;
    }
    return subBits;
}

// Builds the lookup of one Huffman table into store[pos...]; returns the new end position.
// The first level is wide enough for the sign bits of short codes (all four of a quadruple).
int BuildHuffLookup(const MP3HuffCodeTable& t, bool quad, uint32_t* store, int pos,
                    MP3HuffLookup& out) {
    const int n = t.xlen * t.xlen;
    int maxLen = 0;
    for (int i = 0; i < n; ++i) maxLen = t.lens[i] > maxLen ? t.lens[i] : maxLen;
    const int first = std::min(maxLen + (quad ? 4 : 2), kMP3HuffMaxFirstBits);
    uint32_t* base = store + pos;
    const int firstSize = 1 << first;
    // Room needed: the first level and one subtable per prefix of a long code.
    int need = firstSize;
    for (int prefix = 0; prefix < firstSize; ++prefix) {
        const int subBits = SubtableBits(t, n, first, prefix);
        need += subBits ? 1 << subBits : 0;
    }
    if (pos + need > kHuffStoreSize) return pos;  // cannot happen with the published tables
    std::memset(base, 0, sizeof(uint32_t) * firstSize);
    int end = firstSize;
    // Short codes fill their slots directly, one per value of the bits that follow them.
    for (int i = 0; i < n; ++i) {
        const int len = t.lens[i];
        if (len > first) continue;
        const int rest = first - len;
        const int slot = t.codes[i] << rest;
        for (int k = 0; k < (1 << rest); ++k) base[slot + k] = HuffLeaf(t, quad, i, len, k, rest);
    }
    // Long codes go to subtables, one per first-level prefix, sized for the longest code.
    for (int prefix = 0; prefix < firstSize; ++prefix) {
        const int subBits = SubtableBits(t, n, first, prefix);
        if (subBits == 0) continue;
        const int sub = end;
        std::memset(base + sub, 0, sizeof(uint32_t) * (1 << subBits));
        end += 1 << subBits;
        base[prefix] = 0x80000000u | uint32_t(subBits << 24) | uint32_t(sub);
        for (int i = 0; i < n; ++i) {
            const int len = t.lens[i];
            if (len <= first || (t.codes[i] >> (len - first)) != prefix) continue;
            const int rest = len - first;
            const int x = i / t.xlen, y = i % t.xlen;
            const uint32_t leaf = uint32_t(rest | (x << 11) | (y << 6));
            const int slot = (t.codes[i] & ((1 << rest) - 1)) << (subBits - rest);
            for (int k = 0; k < (1 << (subBits - rest)); ++k) base[sub + slot + k] = leaf;
        }
    }
    out.entries = base;
    out.bits = uint8_t(first);
    out.linbits = t.linbits;
    return pos + end;
}

void Build(MP3Tables& t) {
    int pos = 0;
    for (int i = 0; i < 34; ++i) {
        const MP3HuffCodeTable& src = kMP3HuffCodes[i];
        if (!src.codes) continue;
        if (i > 16 && i < 24 && t.huff[16].entries) {  // tables 17-23 share 16's codes
            t.huff[i] = t.huff[16];
            t.huff[i].linbits = src.linbits;
            continue;
        }
        if (i > 24 && i < 32 && t.huff[24].entries) {  // tables 25-31 share 24's codes
            t.huff[i] = t.huff[24];
            t.huff[i].linbits = src.linbits;
            continue;
        }
        pos = BuildHuffLookup(src, i >= 32, t.huffStore, pos, t.huff[i]);
    }
    t.huffStoreUsed = pos;
    for (int k = 0; k < 8207; ++k) t.pow43[k] = float(std::pow(double(k), 4.0 / 3.0));
    for (int k = 0; k < 32; ++k) t.pow43Signed[k] = k & 16 ? -t.pow43[k & 15] : t.pow43[k & 15];
    for (int q = 0; q < 464; ++q) t.pow2q[q] = float(std::pow(2.0, (q - 400) / 4.0));
    for (int i = 0; i < 36; ++i) {
        const double s36 = std::sin(kPi / 36 * (i + 0.5));
        t.winLong[0][i] = float(s36);
        t.winLong[1][i] = float(i < 18   ? s36
                                : i < 24 ? 1.0
                                : i < 30 ? std::sin(kPi / 12 * (i - 18 + 0.5))
                                         : 0.0);
        t.winLong[3][i] = float(i < 6    ? 0.0
                                : i < 12 ? std::sin(kPi / 12 * (i - 6 + 0.5))
                                : i < 18 ? 1.0
                                         : s36);
        t.winLong[2][i] = 0.0f;
    }
    for (int i = 0; i < 12; ++i) t.winShort[i] = float(std::sin(kPi / 12 * (i + 0.5)));
    for (int n = 0; n < 18; ++n)
        for (int k = 0; k < 18; ++k)
            t.dct18[k][n] = float(std::cos(kPi / 72 * (2 * n + 1) * (2 * k + 1)));
    for (int i = 0; i < 12; ++i)
        for (int k = 0; k < 6; ++k)
            t.imdct12[k][i] = float(std::cos(kPi / 24 * (2 * i + 1 + 6) * (2 * k + 1)));
    for (int i = 0; i < 8; ++i) {
        const double c = kMP3AliasCi[i];
        const double sq = std::sqrt(1.0 + c * c);
        t.cs[i] = float(1.0 / sq);
        t.ca[i] = float(c / sq);
    }
    for (int p = 0; p < 7; ++p) {
        const double tn = std::tan(p * kPi / 12);
        t.isRatioL[p] = float(tn / (1 + tn));
        t.isRatioR[p] = float(1 / (1 + tn));
    }
    // p == 6: tan is infinite; the left channel takes everything.
    t.isRatioL[6] = 1.0f;
    t.isRatioR[6] = 0.0f;
    for (int s = 0; s < 2; ++s) {
        const double io = s == 0 ? std::pow(2.0, -0.25) : std::pow(2.0, -0.5);
        for (int p = 0; p < 32; ++p) {
            double kl = 1.0, kr = 1.0;
            if (p & 1)
                kl = std::pow(io, (p + 1) / 2);
            else if (p)
                kr = std::pow(io, p / 2);
            t.lsfIsL[s][p] = float(kl);
            t.lsfIsR[s][p] = float(kr);
        }
    }
    for (int n = 32; n >= 2; n /= 2)
        for (int k = 0; k < n / 2; ++k)
            t.dctFactor[32 - n + k] = float(0.5 / std::cos((2 * k + 1) * kPi / (2 * n)));
    for (int i = 0; i < 512; ++i) t.window[i] = float(kMP3SynthWindow[i]) * 8.0f;
}

}  // namespace

const MP3Tables& MP3GetTables() {
    static const MP3Tables* tables = [] {
        auto* t = new MP3Tables();
        Build(*t);
        return t;
    }();
    return *tables;
}
