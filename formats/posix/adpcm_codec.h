// IMA ADPCM and Microsoft ADPCM block codecs in their WAV layouts (one block per call).
#pragma once

#include <cstdint>

namespace ladpcm {

// Frames in one IMA ADPCM block of blockAlign bytes; 0 when the layout is impossible.
int ImaFramesPerBlock(int blockAlign, int channels);
// Decodes one block (or the leading part of one: bytes may be short of a block, then only
// complete groups are decoded). Writes interleaved frames; false on a corrupt header.
bool ImaDecodeBlock(const uint8_t* in, int bytes, int channels, int16_t* out, int* frames);
// Encodes ImaFramesPerBlock frames into blockAlign bytes; stepIndex holds one index per
// channel, carried from block to block.
void ImaEncodeBlock(const int16_t* in, int channels, uint8_t* out, int blockAlign,
                    uint8_t* stepIndex);

// Frames in one Microsoft ADPCM block; 0 when the layout is impossible.
int MsFramesPerBlock(int blockAlign, int channels);
// The seven standard predictor coefficient pairs.
constexpr int kMsStandardCoefs = 7;
extern const int16_t kMsCoef1[kMsStandardCoefs];
extern const int16_t kMsCoef2[kMsStandardCoefs];
// Decodes one block (or the leading part of one) with the given coefficient table; false on a
// corrupt header (predictor index outside the table).
bool MsDecodeBlock(const uint8_t* in, int bytes, int channels, const int16_t* coef1,
                   const int16_t* coef2, int numCoef, int16_t* out, int* frames);
// Encodes MsFramesPerBlock frames into blockAlign bytes with the standard coefficients,
// choosing the predictor per channel and block.
void MsEncodeBlock(const int16_t* in, int channels, uint8_t* out, int blockAlign);

}  // namespace ladpcm
