// Layer III granule decoding: scalefactors, Huffman data, requantisation, stereo, hybrid,
// synthesis.
#pragma once

#include <cstdint>

#include "formats/mp3_bits.h"
#include "formats/mp3_frame.h"
#include "formats/mp3_tables.h"

class MP3Layer3 {
  public:
    // Prepares the decoder for one version and sampling frequency index (reorder maps, bands).
    void Init(int version, int freqIndex);
    // Clears the IMDCT overlap and the synthesis history.
    void ResetState();

    // Decodes granule gr of a frame whose main data starts at bit 0 of mainData; the granule's
    // channels start at the running sum of part2_3_length in bits. Writes 576 interleaved
    // frames of the header's channel count to out.
    void DecodeGranule(const uint8_t* mainData, int32_t mainBytes, int64_t& bitPos,
                       const MP3Header& h, const MP3SideInfo& si, int gr, int32_t* out);

    // Stages, public for tests.
    void ReadScalefactors(MP3BitReader& br, const MP3Header& h, const MP3SideInfo& si, int gr,
                          int ch);
    // Returns the number of lines decoded (in bitstream order).
    int DecodeHuffmanData(MP3BitReader& br, int64_t endBit, const MP3GranuleInfo& gi, int ch);
    void JointStereo(const MP3Header& h, const MP3GranuleInfo& right);
    void Antialias(const MP3GranuleInfo& gi, int ch, int sbLimit);
    void Hybrid(const MP3GranuleInfo& gi, int ch, int sbLimit);
    void Synthesize(int nch, int32_t* out);
    // X[n] = sum_k in[k] cos((2k+1) n pi / 64), n = 0..31, by a fast factorisation.
    void Dct32(const float* in, float* out) const;

    float xr[2][576];

    // The IMDCT and synthesis run on the widest vectors the processor has, chosen at run time
    // on x86-64: 16 lanes (AVX-512F), 8 lanes (AVX2 with FMA), else 4 lanes (SSE2, the only
    // choice of the 32-bit build). Tests lower the limit to check the narrower paths.
    static inline int maxVectorLanes = 16;
    // The lanes used now: 4, 8 or 16.
    static int VectorLanes();

  private:
    template <class V>
    void HybridWith(const MP3GranuleInfo& gi, int ch, int sbLimit);
    template <class V>
    void SynthesizeWith(int nch, int32_t* out);
    void Hybrid8(const MP3GranuleInfo& gi, int ch, int sbLimit);
    void Synthesize8(int nch, int32_t* out);
    void Hybrid16(const MP3GranuleInfo& gi, int ch, int sbLimit);
    void Synthesize16(int nch, int32_t* out);

    // One past the highest non-zero line below bound.
    int HighestNonzero(int ch, int bound) const;

    const MP3Tables* t_ = nullptr;
    const MP3BandTable* bands_ = nullptr;
    int version_ = 0;
    int mixedLongLines_ = 36;
    uint16_t mapLong_[576];
    uint16_t mapShort_[576];
    uint16_t mapMixed_[576];
    // Scalefactors: long bands 0..21, short bands [0..12][window]; the bit width each was read
    // with (its largest value is the illegal intensity position in MPEG-2).
    uint8_t sfLong_[2][23];
    uint8_t sfShort_[2][13][3];
    uint8_t slenLong_[23];
    uint8_t slenShort_[13];
    int nonzero_[2] = {0, 0};
    // Hybrid filter output [channel][subband][time slot], the slots padded with zeros to whole
    // vectors, and the overlap [channel][subband][18].
    static constexpr int kSlotStride = 32;
    float slots_[2][32][kSlotStride];
    float overlap_[2][32][18];
    // Synthesis history per channel: the last 16 slots of 64 values (oldest first), then room
    // for the 18 slots of one granule.
    float history_[2][16 + 18][64];
};
