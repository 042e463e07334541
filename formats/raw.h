// Headerless sample files: the generic raw data source and sink (seven codings) and LRawFile.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sound.h"
#include "support/file.h"

struct LRawSettings;

// Codec indices as stored under "Codec" and listed in this order by the raw settings dialog.
enum : int32_t {
    LRAW_CODEC_VOX = 0,
    LRAW_CODEC_ULAW = 1,
    LRAW_CODEC_ALAW = 2,
    LRAW_CODEC_PCM16LE = 3,
    LRAW_CODEC_PCM8U = 4,
    LRAW_CODEC_PCM8S = 5,
    LRAW_CODEC_PCM16BE = 6,
    // Codings of container formats only, never a raw setting: IEEE floats, wide integers.
    LRAW_CODEC_FLOAT32BE = 100,
    LRAW_CODEC_FLOAT64BE = 101,
    LRAW_CODEC_FLOAT32LE = 102,
    LRAW_CODEC_FLOAT64LE = 103,
    LRAW_CODEC_PCM24LE = 104,
    LRAW_CODEC_PCM24BE = 105,
    LRAW_CODEC_PCM32LE = 106,
    LRAW_CODEC_PCM32BE = 107,
};
// Bytes per sample of codecs 1-6 (0 for the VOX codec and invalid indices).
int RawCodecBytes(int32_t codec);
// The largest internal value a source of that coding can deliver.
int32_t RawCodecPeak(int32_t codec);

// Reads frames of one coding from an open file, starting at the file's offset at construction.
class LRawFileDataSoundSourceBase : public LSoundSourceBase {
  public:
    // Takes over the file (the caller's object is left closed). dataBytes -1: up to the end of
    // the file, recomputed on each query.
    LRawFileDataSoundSourceBase(LFile& file, int32_t sampleRate, int64_t dataBytes,
                                int bytesPerSample, int32_t peak, int channels);

    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return position_; }
    int32_t GetEndSample() override;
    void Seek(int32_t frame) override;

  protected:
    // Converts samples (not frames) of file bytes to internal samples.
    virtual void Convert(const uint8_t* bytes, int32_t samples, int32_t* out) = 0;

  private:
    LFile file_;
    int64_t dataStart_ = 0;
    int32_t frameSize_;
    int32_t position_ = 0;
    int32_t lengthFrames_ = -1;
    int bytesPerSample_;
    std::vector<uint8_t> buffer_;
};

// One concrete source per coding; Coding supplies kBytes, Decode(const uint8_t*) and
// Encode(int32_t, uint8_t*).
template <class Coding>
class LRawFileDataSoundSource final : public LRawFileDataSoundSourceBase {
  public:
    LRawFileDataSoundSource(LFile& file, int32_t sampleRate, int64_t dataBytes, int32_t peak,
                            int channels)
        : LRawFileDataSoundSourceBase(file, sampleRate, dataBytes, Coding::kBytes, peak, channels) {
    }

  protected:
    void Convert(const uint8_t* bytes, int32_t samples, int32_t* out) override {
        for (int32_t i = 0; i < samples; ++i) out[i] = Coding::Decode(bytes + i * Coding::kBytes);
    }
};

class LRawFileDataSoundSinkBase;
// Writes the header (final false at creation, true at the end after a seek to offset 0) and
// returns its size in bytes, or -1 when it could not be written.
using LRawHeaderWriter = int32_t (*)(LRawFileDataSoundSinkBase& sink, bool final);

// Writes frames of one coding after a header of the header writer's making.
class LRawFileDataSoundSinkBase : public LSoundSinkBase {
  public:
    LRawFileDataSoundSinkBase(const char* path, int32_t sampleRate, LRawHeaderWriter headerWriter,
                              int bytesPerSample, int32_t framesPresent, int channels);
    ~LRawFileDataSoundSinkBase() override;

    // A failed write sets the unusable flag; nothing more is written after that.
    int32_t Write(const int32_t* buffer, int32_t n) override;
    void Seek(int32_t frame) override;
    // Writes the final header and closes the file.
    int Finish(LProgressDialog* dlg) override;

    LFile& File() { return file_; }
    int32_t FrameSize() const { return frameSize_; }

  protected:
    virtual void Convert(const int32_t* in, int32_t samples, uint8_t* out) = 0;

  private:
    // The final header, then close (at most once); false when the file is incomplete.
    bool Close();

    LFile file_;
    LRawHeaderWriter headerWriter_;
    int32_t frameSize_;
    int32_t headerSize_ = 0;
    std::vector<uint8_t> buffer_;
};

template <class Coding>
class LRawFileDataSoundSink final : public LRawFileDataSoundSinkBase {
  public:
    LRawFileDataSoundSink(const char* path, int32_t sampleRate, LRawHeaderWriter headerWriter,
                          int channels)
        : LRawFileDataSoundSinkBase(path, sampleRate, headerWriter, Coding::kBytes, 0, channels) {}

  protected:
    void Convert(const int32_t* in, int32_t samples, uint8_t* out) override {
        for (int32_t i = 0; i < samples; ++i) Coding::Encode(in[i], out + i * Coding::kBytes);
    }
};

// A header writer that writes nothing (plain raw files).
int32_t RawNoHeader(LRawFileDataSoundSinkBase& sink, bool final);

class LRawFile {
  public:
    // Codec 0: the VOX source (mono); 1-6: the raw data source over the whole file; any other
    // codec: the silent placeholder with error code 1.
    static LSourceRef OpenSource(const char* path, const LRawSettings& settings);
    static LSourceRef OpenSource(const char* path, int32_t sampleRate, int channels, int32_t codec);
    // Codec 0: the VOX sink; 1-6: the raw data sink; any other codec: no sink.
    static LSinkRef OpenSink(const char* path, const LRawSettings& settings);
    static LSinkRef OpenSink(const char* path, int32_t sampleRate, int channels, int32_t codec);

    // The raw data source of codec 1-6 or a container coding on an open file positioned at the
    // first frame (used by the AIFF and AU readers); dataBytes -1 means up to the end of the file.
    static LSourceRef OpenDataSource(LFile& file, int32_t codec, int32_t sampleRate, int channels,
                                     int64_t dataBytes);
    // The raw data sink of codec 1-6 with a header writer.
    static LSinkRef OpenDataSink(const char* path, int32_t codec, int32_t sampleRate, int channels,
                                 LRawHeaderWriter headerWriter);
};
