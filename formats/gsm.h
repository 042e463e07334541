// ".gsm" files: headerless 33-byte GSM 06.10 frames of 160 samples, 8000 Hz mono.
#pragma once

#include <cstdint>

#include "core/sound.h"
#include "formats/gsm610.h"
#include "support/file.h"

class LGSMFileSource final : public LSoundSourceBase {
  public:
    explicit LGSMFileSource(const char* path);

    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return position_; }
    int32_t GetEndSample() override { return length_; }
    void Seek(int32_t sample) override;

  private:
    // Reads the next frame and decodes it into out (a missing frame decodes as zero bytes).
    void DecodeNext(int32_t* out);

    // Whole frames of one Read are fetched in one file request.
    static constexpr int kMaxFrames = LSOUND_BLOCK_FRAMES / LGSMFrame::kSamples + 2;

    LGSMFrame codec_;
    LFile file_;
    uint8_t bytes_[kMaxFrames * LGSMFrame::kFrameBytes];
    int32_t frame_[LGSMFrame::kSamples];
    int32_t readIndex_ = LGSMFrame::kSamples;
    int32_t position_ = 0;
    int32_t length_ = 0;
};

class LGSMFileSink final : public LSoundSinkBase {
  public:
    // The format fixes 8000 Hz mono whatever the conversion's rate and channels.
    explicit LGSMFileSink(const char* path);
    ~LGSMFileSink() override;

    // A failed write sets the unusable flag; nothing more is written after that.
    int32_t Write(const int32_t* buffer, int32_t n) override;
    // Writes the last, silence-padded frame and closes the file.
    int Finish(LProgressDialog* dlg) override;

  private:
    bool EncodeAndWrite(const int32_t* samples);
    // The last frame, then close (at most once); false when the file is incomplete.
    bool Close();

    static constexpr int kMaxFrames = LSOUND_BLOCK_FRAMES / LGSMFrame::kSamples + 2;

    LGSMFrame codec_;
    uint8_t bytes_[kMaxFrames * LGSMFrame::kFrameBytes];
    LFile file_;
    int32_t buffered_ = 0;
    int32_t buffer_[LGSMFrame::kSamples];
};
