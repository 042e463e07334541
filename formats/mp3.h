// LMP3Source: the program's own MPEG-1/2/2.5 Layer III decoder as a sound source.
#pragma once

#include <cstdint>
#include <memory>

#include "core/sound.h"
#include "formats/mp3_frame.h"
#include "formats/mp3_layer3.h"

class LMP3Source : public LSoundSourceBase {
  public:
    // Opens an ".mp3" file. Error code 4 when it cannot be opened, 3 when no frame is found.
    explicit LMP3Source(const char* path);
    // Reads an in-memory copy of a file (kept by the caller for the source's lifetime).
    LMP3Source(const uint8_t* data, int64_t size);

    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return position_; }
    int32_t GetEndSample() override { return length_; }
    void Seek(int32_t frame) override;

    // Frame count from a Xing, Info or VBRI header (0 when none).
    int32_t TagFrames() const { return tagFrames_; }
    int SamplesPerFrame() const { return samplesPerFrame_; }

  private:
    void Open();
    bool DecodeInitialHeader();
    bool ConfirmFirstHeader(MP3Header& h, int64_t searchStart);
    bool DecodeHeader(MP3Header& h);
    bool FollowedByFrame(const MP3Header& h, int64_t headerEnd);
    // Decodes the next frame into out. A frame whose earlier main data is missing yields no
    // samples and the next frame is tried, unless countSkipped (then it returns true at once).
    bool DecodeFrame(int32_t* out, bool countSkipped = false);
    void Reestimate();
    void Advance(int32_t n);

    std::unique_ptr<MP3ByteStream> stream_;
    MP3Layer3 layer3_;
    MP3Header first_;
    MP3Header current_;
    MP3SideInfo side_;
    int32_t position_ = 0;
    int32_t length_ = 0;
    int32_t tagFrames_ = 0;
    int samplesPerFrame_ = 1152;
    double avgFrameBytes_ = 1.0;
    int64_t dataStart_ = 0;   // offset of the first audio frame
    int64_t decodedEnd_ = 0;  // sample position after the last decoded frame
    // Bit reservoir: earlier main data still referenced, then the current frame's.
    static constexpr int kReservoirBytes = 4096;
    uint8_t reservoir_[kReservoirBytes];
    int32_t reservoirLen_ = 0;
    // One decoded frame and how much of it has been delivered.
    int32_t frame_[1152 * 2];
    int32_t frameFill_ = 0;
    // A frame whose channel count differs from the first frame's, before conversion.
    int32_t otherChannels_[1152 * 2];
    int32_t frameIndex_ = 0;
};
