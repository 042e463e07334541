// Vector kernels of the source-side resampler: stereo output frames in groups, bit-identical to
// the per-frame arithmetic, from a pair layout of the 16-bit window and rearranged rows.
#pragma once

#include <cstdint>

#if defined(__GNUC__) && defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define TAMBER_RATE_VECTORS 1
#endif

// The pair layout: entry m holds 16 samples, the low 128 bits (L m, L m+1, R m, R m+1, L m+2,
// L m+3, R m+2, R m+3) and the high 128 bits the same from frame m + 32, so that one 256-bit
// multiply-add covers four taps of both half sums of both channels.
constexpr int kRatePairLanes = 16;
// Entries the kernels read for window starts 0 to 8191 (taps up to 63 of the last one).
constexpr int32_t kRatePairEntries = 8224;
// A phase's rearranged row: 8 vectors of the 16-bit parts (four taps of A in the low half, the
// same four of B in the high half, each pair given once per channel), then one of the lobe
// multiples, which the kernels take from taps 28 to 35 only (the rows of every ratio have them
// there).
constexpr int kRateRowLanes = 9 * 16;

// One step of the output position: index += (acc + frac) div n, acc = (acc + frac) mod n.
struct LRateStep {
    int32_t phases, whole, frac;
    int32_t limit;  // the largest window start within the block
};

// Normalises interleaved stereo frames, (x + round) >> s, into two 16-bit planes (the values
// must fit; each plane readable for 8263 samples) and builds the pair layout from them, with
// `inter` (kRateInterSamples) as scratch; 256-bit vectors only when `wide`.
void LRatePrepareStereo(const int32_t* frames, int32_t count, int s, int16_t* left, int16_t* right,
                        int16_t* inter, int16_t* pairs, bool wide);
constexpr int32_t kRateInterSamples = 2 * (kRatePairEntries + 36);
// Spreads one phase's 64 low parts and 16 lobe multiples into its rearranged row.
void LRateBuildRow(const int16_t* low, const int16_t* lobe, int16_t* row);

// Stereo frames in whole groups from the window start `index` and phase `acc` of the first one
// (already stepped), while a group's last window start stays within the limit and at most
// `frames` are made; shift = 14 - s with s <= 14. Returns the frames made and leaves index and
// acc at the last of them (unchanged when none).
int32_t LRateStereoAvx2(const int16_t* pairs, const int16_t* rows, const LRateStep& step, int shift,
                        int32_t& index, int32_t& acc, int32_t frames, int32_t* out);
int32_t LRateStereoVnni(const int16_t* pairs, const int16_t* rows, const LRateStep& step, int shift,
                        int32_t& index, int32_t& acc, int32_t frames, int32_t* out);
int32_t LRateStereoSse2(const int16_t* pairs, const int16_t* rows, const LRateStep& step, int shift,
                        int32_t& index, int32_t& acc, int32_t frames, int32_t* out);
bool LRateHaveAvx2();
// AVX2 and the 256-bit multiply-accumulate of 16-bit pairs.
bool LRateHaveVnni();
