// Sound processes: the factories that wrap a source in a format adapter, and the format fit.
#pragma once

#include <cstdint>

#include "core/sound.h"

// A sound process returns either the given source unchanged or a new adapter wrapping it.
class LSPBase {
  public:
    virtual ~LSPBase() = default;
    virtual void OpenSource(LSourceRef& out, const LSourceRef& in) = 0;
};

// Mono to stereo and stereo to mono; any other pair leaves the source as it is.
class LSPConvChannels : public LSPBase {
  public:
    explicit LSPConvChannels(uint16_t channels) : channels_(channels) {}
    void OpenSource(LSourceRef& out, const LSourceRef& in) override;

  private:
    uint16_t channels_;
};

// One resampling stage, or two when the rate falls below a quarter of the source's.
class LSPConvertRate : public LSPBase {
  public:
    explicit LSPConvertRate(int32_t sampleRate) : sampleRate_(sampleRate) {}
    void OpenSource(LSourceRef& out, const LSourceRef& in) override;

  private:
    int32_t sampleRate_;
};

// The peak limiter, only where the source can exceed the level.
class LSPPeakLimit : public LSPBase {
  public:
    explicit LSPPeakLimit(int32_t level) : level_(level) {}
    void OpenSource(LSourceRef& out, const LSourceRef& in) override;

  private:
    int32_t level_;
};

// Fits the source to a rate and channel count: fewer channels before resampling, more after.
void ConvertSourceFormat(int32_t sampleRate, int channels, LSourceRef& source);
