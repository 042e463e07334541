// Sound sources and sinks: the internal sample format, the two base classes and shared helpers.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/ref.h"

class LProgressDialog;  // support/progress.h

// Internal samples are signed 32-bit: a 16-bit PCM value v is held as v * 16.
constexpr int32_t LSAMPLE_FULL_SCALE = 0x7FFF0;
// Every caller reads and writes blocks of at most this many frames.
constexpr int32_t LSOUND_BLOCK_FRAMES = 8192;

// Source error codes.
enum : uint8_t {
    LSRC_OK = 0,
    LSRC_ERR_PLACEHOLDER = 1,  // silent placeholder for "no input", or invalid codec choice
    LSRC_ERR_INNER = 2,        // the wrapped source has an error
    LSRC_ERR_INVALID = 3,      // invalid parameters, corrupt or unsupported data
    LSRC_ERR_OPEN = 4,         // the file cannot be opened
    LSRC_ERR_CODEC = 5,        // codec not available, or unsupported format variant
};

// Sink error flag bit 0: the sink is unusable.
constexpr uint8_t LSNK_ERR_UNUSABLE = 0x01;

// Sample conversions between 16/8-bit PCM and the internal scale (no saturation on the way out).
inline int32_t LSampleFrom16(int16_t v) {
    return int32_t(v) * 16;
}
inline int16_t LSampleTo16(int32_t x) {
    return int16_t(uint16_t((uint32_t(x) + 8u) >> 4));
}
inline int32_t LSampleFromU8(uint8_t b) {
    return (int32_t(b) - 128) * 4096;
}
inline uint8_t LSampleToU8(int32_t x) {
    return uint8_t(((uint32_t(x) + 2048u) >> 12) + 128u);
}
// A floating-point sample (full scale 1.0) rounded to 16 bits and clipped; NaN is silence.
inline int16_t LSample16FromFloat(double v) {
    v *= 32768.0;
    if (!(v > -32768.0)) return v != v ? 0 : -32768;
    if (v >= 32767.0) return 32767;
    return int16_t(std::lrint(v));
}

// Frames to milliseconds without overflow; 0 for an invalid rate.
int64_t LSoundTimeMs(int64_t frames, int32_t sampleRate);

class LSoundSourceBase {
  public:
    LSoundSourceBase(int32_t sampleRate, int channels, int32_t peak);
    virtual ~LSoundSourceBase() = default;
    LSoundSourceBase(const LSoundSourceBase&) = delete;
    LSoundSourceBase& operator=(const LSoundSourceBase&) = delete;

    // Fills exactly n frames (zeros where no data exists) and advances the position by n.
    virtual void Read(int32_t* buffer, int32_t n) = 0;
    virtual int32_t GetPosition() = 0;
    virtual int32_t GetEndSample() = 0;
    virtual void Seek(int32_t frame) {}
    virtual bool IsStreaming() { return false; }
    virtual void WaitForData(int32_t ms);
    // Sources stored as 16-bit little-endian PCM hand out their bytes for a copy into a sink of
    // the same format: up to n frames from the position (sets data; returns the frames, fewer
    // only at the end). Offered only where every frame lies in the file (known length).
    virtual bool OffersPcm16() { return false; }
    virtual int32_t ReadPcm16(const uint8_t*& data, int32_t n) { return 0; }

    int32_t GetSampleRate() const { return sampleRate_; }
    int GetChannels() const { return channels_; }
    int32_t GetPeak() const { return peak; }
    uint8_t GetError() const { return error_; }

    void AddRef() { ++refCount_; }
    void Release() {
        if (--refCount_ == 0) delete this;
    }
    uint16_t RefCount() const { return refCount_; }

  protected:
    void SetSampleRate(int32_t sampleRate);
    void SetChannels(int channels);
    void SetPeak(int32_t p) { peak = p; }
    void SetError(uint8_t e) { error_ = e; }

    int32_t sampleRate_;
    int32_t peak;
    uint8_t channels_;
    uint8_t error_ = LSRC_OK;

  private:
    uint16_t refCount_ = 0;
};

class LSoundSinkBase {
  public:
    LSoundSinkBase(int32_t sampleRate, int channels);
    virtual ~LSoundSinkBase() = default;
    LSoundSinkBase(const LSoundSinkBase&) = delete;
    LSoundSinkBase& operator=(const LSoundSinkBase&) = delete;

    // Writes n interleaved frames in the sink's channel count; always adds n to sPosition.
    virtual int32_t Write(const int32_t* buffer, int32_t n) = 0;
    // Moves the write position back (never forward), dropping what lies beyond.
    virtual void Seek(int32_t frame) {}
    // Ends the output once everything is written (trailing data, header sizes, the encoder's
    // exit), waiting behind the progress surface where that takes time (dlg may be null). A
    // sink that cannot complete its file sets its unusable flag. Result: LPROCESS_OK,
    // LPROCESS_STOPPED when the user cancelled the wait, LPROCESS_FAILED when the file is
    // not complete.
    virtual int Finish(LProgressDialog* dlg);
    // Why an unusable sink failed, when the user can act on it: a message whose "%s" stands
    // for the input file's path; null for a plain write failure.
    virtual const char* GetFailureMessage() const { return nullptr; }
    // Sinks that store 16-bit little-endian PCM take such bytes as they are (n frames).
    virtual bool TakesPcm16() { return false; }
    virtual void WritePcm16(const uint8_t* bytes, int32_t n) {}

    int32_t GetSampleRate() const { return sampleRate_; }
    int GetChannels() const { return channels_; }
    int32_t GetPosition() const { return sPosition; }
    uint8_t GetErrorFlags() const { return errorFlags_; }
    bool IsUnusable() const { return (errorFlags_ & LSNK_ERR_UNUSABLE) != 0; }

    void AddRef() { ++refCount_; }
    void Release() {
        if (--refCount_ == 0) delete this;
    }
    uint16_t RefCount() const { return refCount_; }

  protected:
    void SetErrorFlags(uint8_t f) { errorFlags_ = f; }
    // A write, seek or header update failed: the file is not what it should be.
    void MarkUnusable() { errorFlags_ |= LSNK_ERR_UNUSABLE; }

    int32_t sPosition = 0;
    int32_t sampleRate_;
    uint8_t channels_;
    uint8_t errorFlags_ = 0;

  private:
    uint16_t refCount_ = 0;
};

using LSourceRef = LRef<LSoundSourceBase>;
using LSinkRef = LRef<LSoundSinkBase>;

// A source wrapping one inner source: copies its format, forwards slots 2 to 6.
class LSRCFilterBase : public LSoundSourceBase {
  public:
    explicit LSRCFilterBase(const LSourceRef& inner);

    int32_t GetPosition() override { return inner_->GetPosition(); }
    int32_t GetEndSample() override { return inner_->GetEndSample(); }
    void Seek(int32_t frame) override { inner_->Seek(frame); }
    bool IsStreaming() override { return inner_->IsStreaming(); }
    void WaitForData(int32_t ms) override { inner_->WaitForData(ms); }

  protected:
    LSourceRef inner_;
};

// The silent placeholder source: 11025 Hz mono, length 0, carrying an error code.
class LSRCNull : public LSoundSourceBase {
  public:
    explicit LSRCNull(uint8_t error);
    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return 0; }
    int32_t GetEndSample() override { return 0; }
};
