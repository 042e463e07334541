// Dialogic 4-bit ADPCM (".vox"): a leaky-predictor codec, always mono, two samples per byte.
#pragma once

#include <cstdint>

#include "core/sound.h"
#include "support/file.h"

// The codec state shared by the VOX source and sink.
struct LVoxCodec {
    int32_t stepIndex = 0;
    int32_t predictor = 0;  // internal sample units

    // One 4-bit code -> one internal sample.
    int32_t Decode(uint8_t code);
    // One internal sample -> one 4-bit code.
    uint8_t Encode(int32_t x);
};

class LSRCVOX final : public LSoundSourceBase {
  public:
    LSRCVOX(const char* path, int32_t sampleRate);

    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return position_; }
    int32_t GetEndSample() override;
    void Seek(int32_t sample) override;

  private:
    void ReadChunk(int32_t* out, int32_t n);

    LVoxCodec codec_;
    LFile file_;
    int32_t position_ = 0;
    bool pending_ = false;
    uint8_t pendingByte_ = 0;
};

class LSNKVOX final : public LSoundSinkBase {
  public:
    LSNKVOX(const char* path, int32_t sampleRate);

    // A failed write sets the unusable flag; nothing more is written after that.
    int32_t Write(const int32_t* buffer, int32_t n) override;
    // Closes the file.
    int Finish(LProgressDialog* dlg) override;

  private:
    int32_t WriteChunk(const int32_t* in, int32_t n);

    LVoxCodec codec_;
    LFile file_;
    bool pending_ = false;
    uint8_t pendingHigh_ = 0;  // already in bits 4-7
};
