// MPEG Layer 3 data inside WAV files (format tag 0x55): frames found in a byte stream, decoded
// with the program's own Layer III decoder to 16-bit PCM, for the codec layer.
#pragma once

#include <cstdint>

#include "formats/mp3_frame.h"
#include "formats/mp3_layer3.h"

class LMp3WaveDecoder {
  public:
    // Frames of the stream must have this rate and channel count; others count as noise.
    LMp3WaveDecoder(uint32_t sampleRate, int channels);
    // Forgets the bit reservoir and the filter history.
    void Reset();
    // Decodes the whole frames at the start of in[0..bytes) while they fit in dst; bytes before
    // a frame that are no frame header are passed over. With end set, a cut last frame is
    // dropped. Returns the bytes produced and sets *used.
    uint32_t Decode(const uint8_t* in, uint32_t bytes, bool end, uint8_t* dst, uint32_t dstCap,
                    uint32_t* used);

    // Frames of one MPEG frame at this rate (1152, or 576 for the half rates).
    int FramesPerMpegFrame() const { return framesPerFrame_; }
    // The longest frame of the stream's MPEG version, in bytes.
    static constexpr uint32_t kMaxFrameBytes = 1441 + 4;

  private:
    bool Matches(const MP3Header& h) const;

    uint32_t rate_;
    int channels_;
    int framesPerFrame_;
    bool initialised_ = false;
    MP3Layer3 layer3_;
    MP3SideInfo side_;
    static constexpr int kReservoirBytes = 4096;
    uint8_t reservoir_[kReservoirBytes];
    int32_t reservoirLen_ = 0;
    int32_t pcm_[1152 * 2];
};
