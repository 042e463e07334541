// WAV files through codecs: the wave format record, the decoding source and the encoding sink.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sound.h"
#include "formats/acm_codec.h"
#include "formats/wav.h"
#include "support/file.h"

// A wave format record with its extra bytes, held in a fixed block (the layout of "WavCodec.wff").
constexpr int LWAVE_FORMAT_BLOCK_BYTES = 1024;

class LWaveFileFormat {
  public:
    // 16-bit PCM, 44100 Hz, stereo.
    LWaveFileFormat();
    // The record for a short codec name ("PCM8", "ALAW", "ULAW", "MULAW"; anything else gives
    // 16-bit PCM), compared without regard to case.
    LWaveFileFormat(int32_t sampleRate, int channels, const char* codecName);

    LWaveFormatEx& Format() { return *reinterpret_cast<LWaveFormatEx*>(block_); }
    const LWaveFormatEx& Format() const { return *reinterpret_cast<const LWaveFormatEx*>(block_); }
    uint8_t* Bytes() { return block_; }
    const uint8_t* Bytes() const { return block_; }
    // 18 + extra bytes (the extra-bytes count is kept within the block).
    int RecordBytes() const;

    // Reads up to 1024 bytes of a format file over the record; false when it cannot be read
    // (the bytes not read keep their values).
    bool Load(const char* path);
    // Writes the 1024-byte block to a new file; false on failure.
    bool Save(const char* path) const;

    // True when 16-bit PCM of the record's channels and rate can be converted into it.
    static bool TestSupportedRecord(const LWaveFormatEx* record);
    bool TestSupportedRecord() const { return TestSupportedRecord(&Format()); }

  private:
    alignas(4) uint8_t block_[LWAVE_FORMAT_BLOCK_BYTES];
};

// Creates the WAV sink for a format: PCM records give the PCM writer, all others the codec
// sink. May be empty (PCM wider than 16 bits); may carry error bit 0.
LSinkRef LWaveOpenSink(const char* path, const LWaveFileFormat& format);

// Decodes a WAV data chunk of any format the codec layer handles to 16-bit PCM on the fly.
class LSRCACMWave : public LSoundSourceBase {
  public:
    // Takes over the file, positioned at the first data byte. format is the record followed by
    // its extra bytes; dataSize 0xFFFFFFFF marks a file still being written.
    LSRCACMWave(LFile&& file, const LWaveFormatEx* format, int64_t dataSize);
    ~LSRCACMWave() override;

    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return position_; }
    int32_t GetEndSample() override;
    void Seek(int32_t frame) override;
    bool IsStreaming() override { return dataSize_ == 0xFFFFFFFF; }

  private:
    // Decodes more data into the destination buffer; false when the data has ended.
    bool Refill(int32_t stillWanted);
    // Opens the codec stream for the format; false when no codec takes it.
    bool OpenStream();
    // Unprepares, closes and frees the codec stream (if any).
    void CloseStream();
    int64_t BytesToFrames(int64_t bytes) const;
    int64_t FramesToBytes(int64_t frames) const;
    int64_t DataLength();

    LFile file_;
    int64_t dataSize_;
    int64_t bytesRead_ = 0;
    int64_t dataStart_ = 0;
    LAcmStream* stream_ = nullptr;
    bool prepared_ = false;
    std::vector<uint8_t> format_;  // the record and its extra bytes
    std::vector<uint8_t> src_, dst_;
    uint32_t srcCap_ = 0, dstCap_ = 0;
    uint32_t srcValid_ = 0;               // encoded bytes waiting in the source buffer
    uint32_t dstValid_ = 0, dstPos_ = 0;  // decoded bytes, and how many of them are used
    int32_t fileRate_ = 1;
    int64_t avgBytes_ = 1;
    int32_t blockAlign_ = 1;
    int32_t framesPerBlock_ = 0;  // decoded frames of one block, when the codec says so
    int32_t position_ = 0;
    int32_t endFrame_ = -1;
    std::vector<int32_t> discard_;  // Seek's decode-and-drop buffer, allocated on first use
};

// Encodes 16-bit PCM into a wave format while writing the WAV file.
class LSNKACMFile : public LSoundSinkBase {
  public:
    LSNKACMFile(const char* path, const LWaveFileFormat& format);
    ~LSNKACMFile() override;

    // A failed write or a codec that stops taking input sets the unusable flag; so does
    // encoded data that would pass the 4 GiB a WAV header can count.
    int32_t Write(const int32_t* buffer, int32_t n) override;
    // Encodes what is left, writes the final sizes and closes the file.
    int Finish(LProgressDialog* dlg) override;
    const char* GetFailureMessage() const override {
        return tooLarge_ ? kWaveTooLargeMessage : nullptr;
    }

  private:
    bool WriteHeader(uint32_t riffSize, uint32_t dataSize);
    // Appends encoded bytes, within the WAV size limit; false (and unusable) otherwise.
    bool Append(uint32_t bytes);
    // Ends the codec stream and the file (at most once); false when the file is incomplete.
    bool Close();

    LFile file_;
    std::vector<uint8_t> record_;  // 18 + extra bytes
    LAcmStream* stream_ = nullptr;
    bool prepared_ = false;
    std::vector<uint8_t> src_, dst_;
    uint32_t srcCap_ = 0, dstCap_ = 0;
    uint32_t srcValid_ = 0;
    uint32_t pcmPerBlock_ = 0;  // PCM bytes of one encoded block, when the codec says so
    uint32_t encoded_ = 0;
    bool tooLarge_ = false;
};
