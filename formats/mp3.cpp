// LMP3Source: stream analysis (tags, length estimate), the frame loop, reading and seeking.
#include "formats/mp3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "support/byteorder.h"
#include "support/trace.h"

namespace {

constexpr int32_t kPeak = 1 << 21;

}  // namespace

LMP3Source::LMP3Source(const char* path)
    : LSoundSourceBase(44100, 2, kPeak), stream_(new MP3ByteStream) {
    if (!stream_->OpenFile(path)) {
        LTrace("LMP3Source::LMP3Source cannot open file");
        SetError(LSRC_ERR_OPEN);
        return;
    }
    Open();
}

LMP3Source::LMP3Source(const uint8_t* data, int64_t size)
    : LSoundSourceBase(44100, 2, kPeak), stream_(new MP3ByteStream) {
    stream_->OpenMemory(data, size);
    Open();
}

void LMP3Source::Open() {
    MP3ByteStream& s = *stream_;
    // A trailing ID3v1 tag is not audio.
    uint8_t tag[3];
    int64_t end = s.Size();
    if (end >= 128 && s.ReadAt(end - 128, tag, 3) && std::memcmp(tag, "TAG", 3) == 0) end -= 128;
    s.SetAudioEnd(end);
    // An ID3v2 tag at the start is skipped whole, so that pictures inside it can neither fake
    // a frame header nor push the first frame beyond the sync search.
    uint8_t id3[10];
    if (s.ReadAt(0, id3, 10) && std::memcmp(id3, "ID3", 3) == 0 && id3[3] != 0xFF &&
        !((id3[6] | id3[7] | id3[8] | id3[9]) & 0x80)) {
        const int64_t size =
            (int64_t(id3[6]) << 21) | (int64_t(id3[7]) << 14) | (int64_t(id3[8]) << 7) | id3[9];
        const int64_t skip = 10 + size + ((id3[5] & 0x10) ? 10 : 0);
        if (skip < end) s.SeekTo(skip);
    }
    bool found = DecodeInitialHeader();
    if (!found && s.Tell() != 0) {  // a tag that lies about its size: search from the start
        s.SeekTo(0);
        found = DecodeInitialHeader();
    }
    if (!found) {
        LTrace("LMP3Source::DecodeInitialHeader no frame header found");
        SetError(LSRC_ERR_INVALID);
        return;
    }
    SetSampleRate(first_.SampleRate());
    SetChannels(first_.Channels());
    samplesPerFrame_ = first_.SamplesPerFrame();
    layer3_.Init(first_.version, first_.freqIndex);
}

bool LMP3Source::DecodeInitialHeader() {
    MP3ByteStream& s = *stream_;
    int64_t bitrateSum = 0;
    int count = 0;
    const int64_t searchStart = s.Tell();
    for (; count < 8; ++count) {
        MP3Header h;
        if (!s.ReadHeader(h)) break;
        if (count == 0 && !ConfirmFirstHeader(h, searchStart)) break;
        const int64_t headerEnd = s.Tell();  // after the header and its CRC
        const int64_t frameStart = headerEnd - 4 - (h.crc ? 2 : 0);
        const int payload = h.PayloadBytes();
        if (count == 0) {
            first_ = h;
            dataStart_ = frameStart;
            uint8_t side[36];
            const int sideBytes = h.SideInfoBytes();
            int32_t frames = 0;
            if (s.Read(side, sideBytes + 4)) {
                // The tag follows the side information; an encoder that protects the tag
                // frame with a CRC may still place it where it would be without one.
                for (int at : {sideBytes, h.crc ? sideBytes - 2 : -1}) {
                    if (at < 0 || frames > 0) continue;
                    bool zero = true;
                    for (int i = 0; i < at; ++i) zero = zero && side[i] == 0;
                    if (!zero) continue;
                    const uint8_t* id = side + at;
                    uint8_t field[14];
                    s.SeekTo(headerEnd + at + 4);
                    if (std::memcmp(id, "VBRI", 4) == 0 && s.Read(field, 14)) {
                        frames = int32_t(LoadBE32(field + 10));
                    } else if ((std::memcmp(id, "Xing", 4) == 0 ||
                                std::memcmp(id, "Info", 4) == 0) &&
                               s.Read(field, 8) && (LoadBE32(field) & 1)) {
                        frames = int32_t(LoadBE32(field + 4));
                    }
                }
                if (frames > 0) {
                    // The tag frame holds no audio: the stream continues after it.
                    s.SeekTo(headerEnd + payload);
                    tagFrames_ = frames;
                    dataStart_ = s.Tell();
                    samplesPerFrame_ = h.SamplesPerFrame();
                    const int64_t remaining = s.Remaining();
                    avgFrameBytes_ = std::max(1.0, double(remaining) / frames);
                    const int64_t len = int64_t(frames) * samplesPerFrame_;
                    length_ = int32_t(std::min<int64_t>(len, INT32_MAX));
                    return true;
                }
            }
        }
        s.SeekTo(headerEnd + payload);
        bitrateSum += h.Bitrate();
    }
    if (count == 0) return false;
    const double avgBitrate = double(count == 8 ? bitrateSum >> 3 : bitrateSum / count);
    avgFrameBytes_ = std::max(1.0, first_.SizeFactor() * avgBitrate / first_.SampleRate());
    samplesPerFrame_ = first_.SamplesPerFrame();
    const double frames = std::floor(double(s.AudioEnd() - dataStart_) / avgFrameBytes_ + 0.9);
    length_ = int32_t(std::min(frames * samplesPerFrame_, double(INT32_MAX)));
    s.SeekTo(dataStart_);
    return true;
}

bool LMP3Source::FollowedByFrame(const MP3Header& h, int64_t headerEnd) {
    // The next frame's header follows where this one says, or the data ends there (a header
    // whose frame would run past the end is none).
    MP3ByteStream& s = *stream_;
    const int64_t next = headerEnd + h.PayloadBytes();
    uint8_t b[4];
    MP3Header n;
    if (next + 4 > s.AudioEnd()) return next <= s.AudioEnd();
    return s.ReadAt(next, b, 4) && n.Parse(b) && n.version == h.version &&
           n.freqIndex == h.freqIndex;
}

bool LMP3Source::ConfirmFirstHeader(MP3Header& h, int64_t searchStart) {
    // A header found in junk is taken only if the next frame's header follows where it says;
    // otherwise the search goes on from the byte after it.
    MP3ByteStream& s = *stream_;
    for (;;) {
        const int64_t headerEnd = s.Tell();
        const int64_t frameStart = headerEnd - 4 - (h.crc ? 2 : 0);
        if (FollowedByFrame(h, headerEnd)) return true;
        if (frameStart + 1 - searchStart > 65535) return false;
        s.SeekTo(frameStart + 1);
        if (!s.ReadHeader(h)) return false;
    }
}

bool LMP3Source::DecodeHeader(MP3Header& h) {
    // The channel count may change from frame to frame (DecodeFrame converts); the sampling
    // frequency may not. A header not found right where the previous frame ended, or after a
    // rejected one, may be a sync pattern inside other data: it must be followed by a frame.
    MP3ByteStream& s = *stream_;
    bool resync = false;
    for (int tries = 0; tries < 11; ++tries) {
        const int64_t from = s.Tell();
        if (!s.ReadHeader(h)) return false;
        const int64_t headerEnd = s.Tell();
        const int64_t frameStart = headerEnd - 4 - (h.crc ? 2 : 0);
        resync = resync || frameStart != from;
        if (h.version == first_.version && h.freqIndex == first_.freqIndex &&
            (!resync || FollowedByFrame(h, headerEnd)))
            return true;
        resync = true;
        s.SeekTo(frameStart + 1);
    }
    return false;
}

bool LMP3Source::DecodeFrame(int32_t* out, bool countSkipped) {
    MP3ByteStream& s = *stream_;
    for (;;) {
        MP3Header& h = current_;
        if (!DecodeHeader(h)) return false;
        uint8_t sideBytes[32];
        const int sideLen = h.SideInfoBytes();
        if (!s.Read(sideBytes, sideLen)) return false;
        side_.Parse(sideBytes, h);
        const int mainLen = h.PayloadBytes() - sideLen;
        if (mainLen < 0) continue;
        const int begin = side_.mainDataBegin;
        if (reservoirLen_ < begin) {
            // Earlier main data is missing: keep this frame's for the next ones, no samples.
            int keep = std::min(reservoirLen_, kReservoirBytes - mainLen);
            std::memmove(reservoir_, reservoir_ + reservoirLen_ - keep, size_t(keep));
            if (!s.Read(reservoir_ + keep, mainLen)) return false;
            reservoirLen_ = keep + mainLen;
            if (countSkipped) return true;
            continue;
        }
        std::memmove(reservoir_, reservoir_ + reservoirLen_ - begin, size_t(begin));
        if (!s.Read(reservoir_ + begin, mainLen)) return false;
        reservoirLen_ = begin + mainLen;
        int64_t bitPos = 0;
        const int nch = h.Channels();
        const int outCh = GetChannels();
        int32_t* dst = nch == outCh ? out : otherChannels_;
        for (int gr = 0; gr < h.Granules(); ++gr)
            layer3_.DecodeGranule(reservoir_, reservoirLen_, bitPos, h, side_, gr,
                                  dst + gr * 576 * nch);
        // A frame with the other channel count: mono is duplicated, two channels averaged.
        const int n = samplesPerFrame_;
        if (nch == 1 && outCh == 2) {
            for (int i = 0; i < n; ++i) out[2 * i] = out[2 * i + 1] = dst[i];
        } else if (nch == 2 && outCh == 1) {
            for (int i = 0; i < n; ++i)
                out[i] = int32_t((int64_t(dst[2 * i]) + dst[2 * i + 1]) / 2);
        }
        return true;
    }
}

void LMP3Source::Reestimate() {
    if (tagFrames_ > 0) return;
    const double rest = std::floor(double(stream_->Remaining()) / avgFrameBytes_ + 0.9);
    const double len = double(decodedEnd_) + rest * samplesPerFrame_;
    length_ = int32_t(std::min(len, double(INT32_MAX)));
}

void LMP3Source::Read(int32_t* buffer, int32_t n) {
    const int nch = GetChannels();
    if (n <= 0) return;
    if (GetError() != LSRC_OK || length_ < position_) {
        std::memset(buffer, 0, sizeof(int32_t) * size_t(n) * nch);
        Advance(n);
        return;
    }
    int32_t done = 0;
    if (position_ < 0) {
        const int32_t zeros = int32_t(std::min<int64_t>(n, -int64_t(position_)));
        std::memset(buffer, 0, sizeof(int32_t) * size_t(zeros) * nch);
        done = zeros;
    }
    const int32_t spf = samplesPerFrame_;
    while (done < n) {
        if (frameIndex_ < frameFill_) {
            const int32_t take = std::min(n - done, frameFill_ - frameIndex_);
            std::memcpy(buffer + size_t(done) * nch, frame_ + size_t(frameIndex_) * nch,
                        sizeof(int32_t) * size_t(take) * nch);
            frameIndex_ += take;
            done += take;
            continue;
        }
        const bool direct = n - done >= spf;
        int32_t* dst = direct ? buffer + size_t(done) * nch : frame_;
        if (!DecodeFrame(dst)) {
            const int64_t ranOut = int64_t(position_) + done;
            if (length_ > ranOut) length_ = int32_t(ranOut);
            std::memset(buffer + size_t(done) * nch, 0, sizeof(int32_t) * size_t(n - done) * nch);
            break;
        }
        decodedEnd_ = int64_t(position_) + done + spf;
        Reestimate();
        if (direct) {
            done += spf;
        } else {
            frameFill_ = spf;
            frameIndex_ = 0;
        }
    }
    Advance(n);
}

void LMP3Source::Advance(int32_t n) {
    // A length near the largest position (claimed by a tag) must not wrap it around.
    position_ = int32_t(std::min<int64_t>(int64_t(position_) + n, INT32_MAX));
}

void LMP3Source::Seek(int32_t frame) {
    position_ = frame;
    frameFill_ = frameIndex_ = 0;
    if (GetError() != LSRC_OK) return;
    const int32_t target = std::clamp<int32_t>(frame, 0, std::max(length_, 0));
    const int32_t spf = samplesPerFrame_;
    const int32_t k = target / spf;
    const int32_t startFrame = std::max(k - 4, 0);
    const int32_t preroll = k - startFrame;
    stream_->SeekTo(dataStart_ + int64_t(std::floor(startFrame * avgFrameBytes_)));
    // Pre-roll rebuilds the bit reservoir, the IMDCT overlap and the synthesis history; a
    // pre-roll frame that lacks earlier main data still counts as one frame.
    layer3_.ResetState();
    reservoirLen_ = 0;
    for (int32_t i = 0; i < preroll; ++i)
        if (!DecodeFrame(frame_, true)) return;
    if (!DecodeFrame(frame_)) return;
    decodedEnd_ = int64_t(k) * spf + spf;
    Reestimate();
    frameFill_ = spf;
    frameIndex_ = target % spf;
    // A seek past the end leaves the position there; Read delivers zeros.
    if (frame > target) frameFill_ = frameIndex_ = 0;
}
