// LSRCConvertRate: the source-side resampler (63-tap polyphase filter, 16-bit normalised window).
#pragma once

#include <cstdint>
#include <vector>

#include "core/polyphase.h"
#include "core/sound.h"

class LSRCConvertRate : public LSRCFilterBase {
  public:
    // `narrow` selects the lower cutoff used by the first of two stages.
    LSRCConvertRate(const LSourceRef& inner, int32_t sampleRate, bool narrow);

    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override;
    int32_t GetEndSample() override;
    void Seek(int32_t frame) override;

    const LPolyphaseFilter& Filter() const { return filter_; }
    // True when the filter's rows allow the 16-bit product path.
    bool HasShortRows() const { return fastRows_; }
    // Whether 256-bit vector instructions may be used where the processor has them, and whether
    // 128-bit ones may (tests turn them off to check the other paths).
    static inline bool allowWideVectors = true;
    static inline bool allowVectors = true;
    // Whether the 256-bit multiply-accumulate instructions may be used where the processor has
    // them (with the wide vectors).
    static inline bool allowVectorDots = true;

    static constexpr int kTaps = 63;
    static constexpr int32_t kHistory = 63;
    static constexpr int32_t kWorkFrames = kHistory + LSOUND_BLOCK_FRAMES;  // 8255
    static constexpr int32_t kStartIndex = 8224;

  private:
    void LoadBlock();
    int32_t Scale(int64_t x) const;
    void PrepareFastRows();
    enum Kernel { kPlain, kSse2, kAvx2, kVnni };
    template <Kernel kKernel>
    void ReadFrames(int32_t* buffer, int32_t n);
    void ReadFramesWide(int32_t* buffer, int32_t n);
    void ReadFramesDots(int32_t* buffer, int32_t n);

    LPolyphaseFilter filter_;
    int32_t index_ = kStartIndex;
    int32_t accumulator_ = 0;
    std::vector<int32_t> work_;  // kWorkFrames frames, interleaved
    int shift_ = 0;
    int32_t delay_ = 0;  // output frames held back while the input is still growing

    // The same arithmetic on 16-bit operands, used while the window fits in 16 bits: each
    // coefficient is split into c = low + 32768 k with |low| <= 16384 and k nonzero only in
    // the main lobe (taps 24 to 39). Every partial dot product of the low parts then fits in
    // 32 bits (checked when the filter is built) and vectorises.
    bool fastRows_ = false;
    bool fastBlock_ = false;
    std::vector<int16_t> rows16_;  // n rows of 64 low parts (tap 63 is 0)
    std::vector<int16_t> lobes_;   // n rows of 16 multiples k for taps 24 to 39
    std::vector<int16_t> planes_;  // per channel, kWorkFrames + 1 samples (and a tail)
    // Stereo: the window in the vector kernels' pair layout, built with the planes, and the rows
    // rearranged for them (both 32-byte aligned within their vectors).
    bool pairsReady_ = false;
    bool narrowLobe_ = false;  // lobe multiples only at taps 28 to 35
    std::vector<int16_t> pairs_, vrows_, inter_;
    int16_t* pairData_ = nullptr;
    int16_t* vrowData_ = nullptr;
};
