// GSM 06.10 full-rate (RPE-LTP) codec: one 160-sample frame at a time, explicit state.
#pragma once

#include <cstdint>

// The parameters of one frame in unpacked form (LARc as transmitted, i.e. LARc - MIC).
struct LGSMParams {
    int16_t LARc[8];
    int16_t Nc[4];
    int16_t bc[4];
    int16_t Mc[4];
    int16_t xmaxc[4];
    int16_t xMc[4][13];
};

// Encoder and decoder state of one stream. Samples are internal samples (16-bit value * 16).
// One object may encode and decode at once: the two states are separate.
class LGSMFrame {
  public:
    static constexpr int kSamples = 160;
    // A frame of the ".gsm" file layout (0xD signature, fields packed most significant bit first).
    static constexpr int kFrameBytes = 33;
    // Two frames as stored in WAV files with format tag 0x31 (fields packed least significant
    // bit first, 260 bits per frame, no signature).
    static constexpr int kWav49BlockBytes = 65;
    static constexpr int kWav49BlockSamples = 320;

    LGSMFrame() { Reset(); }
    // Zeroes the encoder and decoder state; the last valid lag becomes 40.
    void Reset();

    // 160 internal samples -> one 33-byte frame.
    void EncodeNormal(const int32_t* samples, uint8_t* frame);
    // One 33-byte frame -> 160 internal samples (not saturated: up to about +-0xFFFE0).
    void DecodeNormal(const uint8_t* frame, int32_t* samples);

    // The same at parameter level.
    void Encode(const int32_t* samples, LGSMParams& params);
    void Decode(const LGSMParams& params, int32_t* samples);

    // 320 internal samples <-> one 65-byte block of two frames (WAV format tag 0x31).
    void EncodeWav49(const int32_t* samples, uint8_t* block);
    void DecodeWav49(const uint8_t* block, int32_t* samples);

    static void PackNormal(const LGSMParams& params, uint8_t* frame);
    static void UnpackNormal(const uint8_t* frame, LGSMParams& params);
    static void PackWav49(const LGSMParams& first, const LGSMParams& second, uint8_t* block);
    static void UnpackWav49(const uint8_t* block, LGSMParams& first, LGSMParams& second);

  private:
    // Encoder.
    int32_t prevIn_;         // previous input sample (offset compensation)
    int64_t offsetAcc_;      // offset-compensation accumulator
    int32_t prevPre_;        // previous offset-compensated value (pre-emphasis)
    int16_t encLARpp_[8];    // previous frame's decoded LARs
    int16_t u_[8];           // short-term analysis filter memory
    int16_t dp_[120 + 160];  // reconstructed short-term residual: 120 history + this frame
    // Decoder.
    int16_t decLARpp_[8];
    int16_t v_[9];            // short-term synthesis filter memory
    int16_t drp_[120 + 160];  // reconstructed residual: 120 history + this frame
    int16_t lastLag_;
    int32_t deemph_;  // previous output sample (internal scale)
};
