// Source-side channel adapters: mono to stereo and stereo to mono (first channel kept).
#pragma once

#include <vector>

#include "core/sound.h"

class LSRCChannelsBase : public LSRCFilterBase {
  public:
    LSRCChannelsBase(const LSourceRef& inner, int channels);

  protected:
    std::vector<int32_t> buffer_;  // 8192 frames of the input's channel count
};

class LSRCMonoToStereo : public LSRCChannelsBase {
  public:
    explicit LSRCMonoToStereo(const LSourceRef& inner) : LSRCChannelsBase(inner, 2) {}
    void Read(int32_t* buffer, int32_t n) override;
};

class LSRCStereoToMono : public LSRCChannelsBase {
  public:
    explicit LSRCStereoToMono(const LSourceRef& inner) : LSRCChannelsBase(inner, 1) {}
    void Read(int32_t* buffer, int32_t n) override;
};
