// Sink-side adapters: a resampler and channel adapters in front of another sink.
#pragma once

#include <cstdint>
#include <vector>

#include "core/polyphase.h"
#include "core/sound.h"

// A sink in front of an inner sink (which may be absent: then frames are only counted).
class LSinkConvertRateBase : public LSoundSinkBase {
  public:
    LSinkConvertRateBase(int32_t sampleRate, int channels, const LSinkRef& inner)
        : LSoundSinkBase(sampleRate, channels), inner_(inner) {}

  protected:
    // Finishes the inner sink; its failure is this adapter's too.
    int FinishInner(LProgressDialog* dlg);
    // Takes over the inner sink's unusable flag after a write.
    void FollowInner() {
        if (inner_ && inner_->IsUnusable()) MarkUnusable();
    }

    LSinkRef inner_;
};

// 15-tap polyphase resampler working on samples reduced to 16-bit scale.
class LSinkConvertRate : public LSinkConvertRateBase {
  public:
    // The inner sink itself when its rate (44100 without one) equals the producer's.
    static void OpenSink(LSinkRef& out, int32_t producerRate, const LSinkRef& inner);

    LSinkConvertRate(int32_t producerRate, const LSinkRef& inner);
    ~LSinkConvertRate() override;

    int32_t Write(const int32_t* buffer, int32_t n) override;
    void Seek(int32_t frame) override;
    // Writes the frames still held in the filter, then finishes the inner sink.
    int Finish(LProgressDialog* dlg) override;

    const LPolyphaseFilter& Filter() const { return filter_; }
    static constexpr int kTaps = 15;

  private:
    void Reset();
    void Process();
    void Flush();
    void Emit(int32_t frames);

    LPolyphaseFilter filter_;
    std::vector<int32_t> input_;  // 8207 frames
    int32_t filled_ = 0;          // samples in input_
    int32_t accumulator_ = 0;
    int32_t skip_ = 0;             // input frames still to pass over (ratios above 16:1)
    bool flushed_ = false;         // Finish wrote the filter's tail
    std::vector<int32_t> output_;  // 8192 frames
};

// Stereo to mono ((L + R) >> 1) and mono to stereo (each sample twice) in front of a sink.
class LSinkConvertChannels : public LSinkConvertRateBase {
  public:
    // The inner sink when the counts match (no inner sink counts as 1 channel); an adapter for
    // 2 -> 1 and 1 -> 2; empty for any other pair.
    static void OpenSink(LSinkRef& out, const LSinkRef& inner, int fromChannels);

    LSinkConvertChannels(int fromChannels, const LSinkRef& inner);
    int32_t Write(const int32_t* buffer, int32_t n) override;
    void Seek(int32_t frame) override;
    int Finish(LProgressDialog* dlg) override { return FinishInner(dlg); }

  private:
    std::vector<int32_t> buffer_;  // 8192 frames of the inner count
};
