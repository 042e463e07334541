// LSRCPeakLimit: keeps every sample within the level by a gain ramp computed one block ahead.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sound.h"

class LSRCPeakLimit : public LSRCFilterBase {
  public:
    LSRCPeakLimit(const LSourceRef& inner, int32_t level);

    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override;
    int32_t GetEndSample() override;
    void Seek(int32_t frame) override;

    int32_t BlockFrames() const { return block_; }
    // The gain (Q24) of a block whose largest magnitude is m.
    int32_t BlockGain(int64_t m) const;

    static constexpr int32_t kUnity = 0x1000000;
    static constexpr int32_t kMaxLevel = 0x3FFFFF;

  private:
    void Restart();
    void Ramp();
    int32_t Gain(const int32_t* block) const;

    int32_t block_;                                    // B frames
    int32_t start_;                                    // 3 * B: not yet started
    int32_t index_;                                    // within the current block
    std::vector<int32_t> buffers_[3];                  // current, next, after next
    int32_t g_[4] = {kUnity, kUnity, kUnity, kUnity};  // previous, current, next, after next
    int32_t gain_ = kUnity;                            // G, Q24
    int32_t step_ = 0;                                 // D, Q24 per frame
};
