// WAV files: the RIFF chunk walk, the 8/16-bit PCM sources and the PCM WAV writer.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sound.h"
#include "support/file.h"

// The "fmt " record as read (the platform's WAVEFORMATEX layout, little-endian).
struct LWaveFormatRecord {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    // Extra format bytes: never more than the chunk actually holds (0 for a 16-byte chunk).
    uint16_t extraSize = 0;
    // The record as a contiguous WAVEFORMATEX block: 18 bytes, then extraSize extra bytes, with
    // the size field at offset 16 already set to extraSize.
    std::vector<uint8_t> bytes;
};

// What the chunk walk found: the format record and where the sample data lies.
struct LWaveDataInfo {
    LWaveFormatRecord format;
    int64_t dataStart = 0;  // file offset of the first sample byte
    // From the "data" header (RF64/BW64: from "ds64"); 0xFFFFFFFF while the file is being written.
    int64_t dataSize = 0;
};

constexpr uint32_t LWAVE_STREAMING_SIZE = 0xFFFFFFFF;
// Size of the header the PCM writer puts in front of the sample data.
constexpr int LWAVE_PCM_HEADER_BYTES = 46;

// Walks the RIFF chunks of an open file from its start: junk before the form, "fmt ", chunks
// between, "data". RF64 and BW64 forms are read alike, their sizes taken from "ds64". On success
// the file is positioned at the first sample byte and the result is LSRC_OK; otherwise
// LSRC_ERR_INVALID (the reason is traced). Channels and rate are validated.
uint8_t LWaveReadHeader(LFile& file, LWaveDataInfo& info);
// The "data" size field before the first sample byte as the file holds it now (a streaming
// writer rewrites it when it finishes); the file position stays. False when it cannot be read.
bool LWaveReadDataSize(LFile& file, int64_t dataStart, uint32_t& size);

// Fills a 46-byte PCM header (sizes given; LWAVE_STREAMING_SIZE while writing).
void LWaveMakePCMHeader(uint8_t* header, int channels, int32_t sampleRate, int bytesPerSample,
                        uint32_t riffSize, uint32_t dataSize);

class LWaveFile {
  public:
    // Never empty: on failure an LSRCNull with error 4 (cannot open) or 3 (anything else).
    static LSourceRef OpenSource(const char* path);
    // The same over an open file or bytes in memory (LFile::OpenBytes).
    static LSourceRef OpenSource(LFile&& file);
    // Empty for more than 16 bits per sample; bits 1-8 give 8-bit samples, 9-16 16-bit.
    static LSinkRef OpenSinkPCM(const char* path, int32_t sampleRate, int bitsPerSample,
                                int channels);
};

// The decoding source for every format that is not 8/16-bit integer PCM. Implemented by the
// codec layer; takes over the file (positioned at the first data byte).
LSoundSourceBase* LWaveOpenCodecSource(LFile&& file, const LWaveFormatRecord& format,
                                       int64_t dataSize);

// Common part of the PCM file sources: file handling, positions, streaming files.
class LSRCPCMFileBase : public LSoundSourceBase {
  public:
    LSRCPCMFileBase(LFile&& file, int32_t sampleRate, int64_t dataSize, int bytesPerSample,
                    int32_t peakValue, int channels);

    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return position_; }
    int32_t GetEndSample() override;
    void Seek(int32_t frame) override;
    bool IsStreaming() override { return length_ < 0; }
    int32_t ReadPcm16(const uint8_t*& data, int32_t frames) override;

  protected:
    // Converts `samples` samples from the raw buffer into the output.
    virtual void Convert(int32_t* out, const uint8_t* raw, int32_t samples) = 0;

    LFile file_;
    int64_t dataStart_ = 0;
    int32_t position_ = 0;
    int32_t length_ = -1;  // frames, or -1 while streaming
    int32_t frameSize_ = 2;
    std::vector<uint8_t> raw_;  // conversion buffer: 8192 frames

  private:
    // Up to `bytes` bytes at the file position: from the read-ahead buffer while the length is
    // known, straight from the file while it is still being written. Sets `data`; returns the
    // count (0 at the end or on failure).
    int32_t Fetch(int32_t bytes, const uint8_t*& data);

    std::vector<uint8_t> ahead_;  // whole frames, about 256 KiB, filled by one read
    int32_t aheadAt_ = 0, aheadEnd_ = 0;
};

class LSRCPCM8File : public LSRCPCMFileBase {
  public:
    LSRCPCM8File(LFile&& file, int32_t sampleRate, int64_t dataSize, int channels)
        : LSRCPCMFileBase(std::move(file), sampleRate, dataSize, 1, LSAMPLE_FULL_SCALE, channels) {}

  protected:
    void Convert(int32_t* out, const uint8_t* raw, int32_t samples) override;
};

class LSRCPCM16File : public LSRCPCMFileBase {
  public:
    LSRCPCM16File(LFile&& file, int32_t sampleRate, int64_t dataSize, int channels)
        : LSRCPCMFileBase(std::move(file), sampleRate, dataSize, 2, LSAMPLE_FULL_SCALE, channels) {}

    bool OffersPcm16() override { return length_ >= 0 && position_ >= 0; }

  protected:
    void Convert(int32_t* out, const uint8_t* raw, int32_t samples) override;
};

// What a WAV writer reports when the output would pass that size ("%s": the input's path).
constexpr const char* kWaveTooLargeMessage =
    "The output of \"%s\" would be larger than 4 GB, more than a WAV file can hold. Please "
    "choose another output format.";

// The largest sample data a WAV file can describe: the RIFF size field (32 bits) counts the
// data and the header after its own 8 bytes; 0xFFFFFFFF itself marks a file being written.
constexpr int64_t LWaveMaxDataBytes(int headerBytes) {
    return int64_t(0xFFFFFFFEu) - (headerBytes - 8);
}

// The PCM WAV writer: 46-byte header with 0xFFFFFFFF sizes while writing, fixed by Finish (or
// on destruction). Data that would pass the 4 GiB a RIFF header can count continues the file
// as RF64. A failed write or header update sets the unusable flag; nothing more is written
// after that.
class LSNKPCMFileBase : public LSoundSinkBase {
  public:
    LSNKPCMFileBase(const char* path, int32_t sampleRate, int32_t framesPresent, int bytesPerSample,
                    int channels);
    ~LSNKPCMFileBase() override;

    int32_t Write(const int32_t* buffer, int32_t n) override;
    void WritePcm16(const uint8_t* bytes, int32_t n) override;
    void Seek(int32_t frame) override;
    int Finish(LProgressDialog* dlg) override;
    const char* GetFailureMessage() const override {
        return tooLarge_ ? kWaveTooLargeMessage : nullptr;
    }

    // Sample data beyond this many bytes turns the file into RF64; tests lower it.
    int64_t rf64From = LWaveMaxDataBytes(LWAVE_PCM_HEADER_BYTES);

  protected:
    virtual void Convert(uint8_t* raw, const int32_t* in, int32_t samples) = 0;

  private:
    // Writes the final sizes and closes the file; false when the header could not be written.
    bool Close();
    bool ToRF64();
    // Write and WritePcm16: n frames, each piece filled by `fill` (destination, first frame,
    // frames).
    template <class Fill>
    void Put(int32_t n, Fill fill);
    // Writes what the buffer holds; false (and the unusable flag) when the file refuses it.
    bool Flush();

    LFile file_;
    int32_t dataStart_ = LWAVE_PCM_HEADER_BYTES;
    bool tooLarge_ = false;
    int bytesPerSample_;
    int32_t frameSize_;
    std::vector<uint8_t> raw_;  // output buffer: whole frames, about 256 KiB, written at once
    int32_t fill_ = 0;          // bytes in raw_ not yet written
};

class LSNKPCM8File : public LSNKPCMFileBase {
  public:
    LSNKPCM8File(const char* path, int32_t sampleRate, int32_t framesPresent, int channels)
        : LSNKPCMFileBase(path, sampleRate, framesPresent, 1, channels) {}

  protected:
    void Convert(uint8_t* raw, const int32_t* in, int32_t samples) override;
};

class LSNKPCM16File : public LSNKPCMFileBase {
  public:
    LSNKPCM16File(const char* path, int32_t sampleRate, int32_t framesPresent, int channels)
        : LSNKPCMFileBase(path, sampleRate, framesPresent, 2, channels) {}

    bool TakesPcm16() override { return true; }

  protected:
    void Convert(uint8_t* raw, const int32_t* in, int32_t samples) override;
};
