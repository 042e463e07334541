// MPEG Layer 3 data inside WAV files, decoded with the program's own Layer III decoder.
#include "formats/posix/acm_mp3.h"

#include <algorithm>
#include <cstring>

#include "support/byteorder.h"

LMp3WaveDecoder::LMp3WaveDecoder(uint32_t sampleRate, int channels)
    : rate_(sampleRate), channels_(channels), framesPerFrame_(sampleRate >= 32000 ? 1152 : 576) {}

void LMp3WaveDecoder::Reset() {
    reservoirLen_ = 0;
    if (initialised_) layer3_.ResetState();
}

bool LMp3WaveDecoder::Matches(const MP3Header& h) const {
    return uint32_t(h.SampleRate()) == rate_ && h.Channels() == channels_ &&
           h.SamplesPerFrame() == framesPerFrame_ && h.PayloadBytes() >= h.SideInfoBytes();
}

uint32_t LMp3WaveDecoder::Decode(const uint8_t* in, uint32_t bytes, bool end, uint8_t* dst,
                                 uint32_t dstCap, uint32_t* used) {
    const uint32_t frameOut = uint32_t(framesPerFrame_ * channels_ * 2);
    uint32_t pos = 0, produced = 0;
    while (pos + 4 <= bytes) {
        MP3Header h;
        if (!h.Parse(in + pos) || !Matches(h)) {
            ++pos;  // no frame starts here
            continue;
        }
        const uint32_t headBytes = 4 + (h.crc ? 2 : 0);
        const uint32_t frameBytes = headBytes + uint32_t(h.PayloadBytes());
        if (pos + frameBytes > bytes) break;  // wait for the rest of the frame
        if (dstCap - produced < frameOut) break;
        if (!initialised_) {
            layer3_.Init(h.version, h.freqIndex);
            layer3_.ResetState();
            initialised_ = true;
        }
        const uint8_t* sideBytes = in + pos + headBytes;
        const int sideLen = h.SideInfoBytes();
        side_.Parse(sideBytes, h);
        const int mainLen = h.PayloadBytes() - sideLen;
        const uint8_t* mainData = sideBytes + sideLen;
        const int begin = side_.mainDataBegin;
        pos += frameBytes;
        if (reservoirLen_ < begin) {
            // Earlier main data is missing: keep this frame's for the next ones, no samples.
            int keep = std::min(reservoirLen_, kReservoirBytes - mainLen);
            std::memmove(reservoir_, reservoir_ + reservoirLen_ - keep, size_t(keep));
            std::memcpy(reservoir_ + keep, mainData, size_t(mainLen));
            reservoirLen_ = keep + mainLen;
            continue;
        }
        std::memmove(reservoir_, reservoir_ + reservoirLen_ - begin, size_t(begin));
        std::memcpy(reservoir_ + begin, mainData, size_t(mainLen));
        reservoirLen_ = begin + mainLen;
        int64_t bitPos = 0;
        for (int gr = 0; gr < h.Granules(); ++gr)
            layer3_.DecodeGranule(reservoir_, reservoirLen_, bitPos, h, side_, gr,
                                  pcm_ + gr * 576 * channels_);
        uint8_t* o = dst + produced;
        for (int i = 0; i < framesPerFrame_ * channels_; ++i) {
            int32_t v = int32_t(std::clamp<int64_t>((int64_t(pcm_[i]) + 8) >> 4, -32768, 32767));
            StoreLE16(o + 2 * i, uint32_t(v));
        }
        produced += frameOut;
    }
    // At the end a cut frame, or a tail too short for a header, is dropped.
    *used = end ? (produced + frameOut <= dstCap || pos >= bytes ? bytes : pos) : pos;
    return produced;
}
