// Layer III tables: the published constants and the derived tables built once per process.
#pragma once

#include <cstdint>

// One Huffman code table: xlen values per row, linbits, codewords and lengths in (x, y) order.
struct MP3HuffCodeTable {
    uint8_t xlen;
    uint8_t linbits;
    const uint16_t* codes;
    const uint8_t* lens;
};
// Tables 0-31 for big values, 32 = count1 table A, 33 = count1 table B.
extern const MP3HuffCodeTable kMP3HuffCodes[34];

// Synthesis window: D[i] * 65536 (equal to the analysis window C[i] * 2^21).
extern const int32_t kMP3SynthWindow[512];

// Scalefactor band starts for one sampling frequency: 22 long bands, 13 short bands.
struct MP3BandTable {
    uint16_t longStart[23];
    uint16_t shortStart[14];
};
// Indexed by version index (0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5) * 3 + sampling frequency index.
extern const MP3BandTable kMP3Bands[9];

extern const uint8_t kMP3Pretab[22];
extern const uint8_t kMP3Slen[2][16];
// MPEG-2 scalefactor partitions: [row][long, short, mixed][partition].
extern const uint8_t kMP3PartitionSizes[6][3][4];
// Antialiasing butterfly coefficients c(i).
extern const double kMP3AliasCi[8];

// Decoding lookup for one Huffman table. Entries of the first level are indexed by the next
// `bits` bits. A link holds 0x80000000 | (subtable bits << 24) | offset from the table start
// (a subtable indexes the bits after the first level). A leaf holds the bits it consumes in
// bits 0-5 (so that the bit cache shifts by the entry itself) and then:
// - big-value pairs: x in bits 11-14 and y in bits 6-9. With kMP3HuffSigned set (a code whose
//   sign bits fit in the lookup and that needs no linbits) the consumed bits include the sign
//   bits and bits 15 and 10 are the signs of x and y; otherwise the signs and linbits follow.
// - count1 quadruples: always with their sign bits, two bits per value v, w, x, y from bit 12
//   down to bit 6 (0 zero, 1 plus one, 2 minus one).
constexpr uint32_t kMP3HuffSigned = 1u << 16;
constexpr int kMP3HuffMaxFirstBits = 10;

struct MP3HuffLookup {
    const uint32_t* entries = nullptr;
    uint8_t bits = 0;
    uint8_t linbits = 0;
};

// Everything derived from the published tables; built on first use and never freed.
struct MP3Tables {
    MP3HuffLookup huff[34];
    // |k|^(4/3) for k = 0..8206.
    float pow43[8207];
    // The signed small magnitudes of a pair leaf: (sign << 4 | k) gives -+k^(4/3), k = 0..15.
    float pow43Signed[32];
    // 2^(q/4) for q = -400..63, indexed by q + 400.
    float pow2q[464];
    // IMDCT windows of the long block types 0, 1, 3 (index 2 unused) and the short window.
    float winLong[4][36];
    float winShort[12];
    // DCT-IV (18 points, [k][n]) and the 12-point IMDCT cosines ([k][i]).
    float dct18[18][32];  // rows padded with zeros to whole vectors
    float imdct12[6][12];
    // Antialiasing cs and ca.
    float cs[8];
    float ca[8];
    // Intensity ratios: MPEG-1 (position 0..6), and MPEG-2 for io = 2^-1/4 and 2^-1/2 (0..31).
    float isRatioL[7], isRatioR[7];
    float lsfIsL[2][32], lsfIsR[2][32];
    // The synthesis window D * 2^19 (internal scale).
    // Factors 1 / (2 cos((2k+1) pi / 2N)) of the fast DCT-II for N = 32, 16, 8, 4, 2, stored
    // from offset 32 - N.
    float dctFactor[31];
    float window[512];
    // The storage behind the Huffman lookups.
    uint32_t huffStore[16384];
    int huffStoreUsed = 0;
};

const MP3Tables& MP3GetTables();

// Index into pow2q for a quarter-step exponent (clamped to the table).
inline int MP3Pow2Index(int q) {
    q += 400;
    return q < 0 ? 0 : (q > 463 ? 463 : q);
}
