// In-memory sources and sinks, reading whole sources and feeding sinks in pieces.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sound.h"
#include "tests/support/signal.h"

namespace testutil {

// Plays back a vector of interleaved internal samples; zeros outside it.
class MemorySource : public LSoundSourceBase {
  public:
    MemorySource(int32_t rate, int channels, std::vector<int32_t> samples,
                 int32_t peakValue = LSAMPLE_FULL_SCALE);
    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return position_; }
    int32_t GetEndSample() override { return frames_; }
    void Seek(int32_t frame) override { position_ = frame; }
    bool IsStreaming() override { return streaming; }

    bool streaming = false;

  private:
    std::vector<int32_t> samples_;
    int32_t frames_, position_ = 0;
};

// Collects what is written; Seek cuts back.
class MemorySink : public LSoundSinkBase {
  public:
    MemorySink(int32_t rate, int channels) : LSoundSinkBase(rate, channels) {}
    int32_t Write(const int32_t* buffer, int32_t n) override;
    void Seek(int32_t frame) override;
    void MakeUnusable() { SetErrorFlags(LSNK_ERR_UNUSABLE); }

    std::vector<int32_t> samples;
    std::vector<int32_t> writeSizes;
};

// Internal samples over the whole range with every low bit in use (count samples).
std::vector<int32_t> Ramp(size_t count);
// Every frame from the current position up to GetEndSample, in transfer-sized blocks.
std::vector<int32_t> ReadToEnd(LSoundSourceBase* src);
// The same, converted back to 16 bits.
std::vector<int16_t> ReadAll16(LSoundSourceBase& source);
// Internal samples of n frames from the current position.
std::vector<int32_t> ReadFrames(LSoundSourceBase& source, int32_t n);
// Writes interleaved internal samples to a sink in pieces of at most `piece` frames.
void Feed(LSoundSinkBase& sink, const std::vector<int32_t>& samples,
          int32_t piece = LSOUND_BLOCK_FRAMES);

}  // namespace testutil
