// In-memory sources and sinks for exercising adapters and transfers, and signal measurements.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sound.h"

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
    int32_t largestRead = 0;

  private:
    std::vector<int32_t> samples_;
    int32_t frames_;
    int32_t position_ = 0;
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

// Reads a whole source (up to its end) into a vector.
std::vector<int32_t> ReadToEnd(LSoundSourceBase* src);
// One channel of an interleaved vector, as doubles.
std::vector<double> Channel(const std::vector<int32_t>& v, int channels, int channel);
// The frequency (Hz, to about 0.01 Hz) of the strongest component between lo and hi, and its
// amplitude, by Goertzel's algorithm over the given span.
struct Tone {
    double hz = 0;
    double amplitude = 0;
};
Tone FindTone(const std::vector<double>& x, double rate, double lo, double hi);

}  // namespace testutil
