// Frame headers, side information and the buffered byte stream of the MP3 reader.
#include "formats/mp3_frame.h"

#include <cstring>

#include "formats/mp3_bits.h"

namespace {

const int kBitrates[2][15] = {
    {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000,
     256000, 320000},
    {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000,
     160000},
};
const int kBaseRates[3] = {44100, 48000, 32000};

}  // namespace

bool MP3Header::Parse(const uint8_t b[4]) {
    if (b[0] != 0xFF || b[1] < 0xE0) return false;
    const int v = (b[1] >> 3) & 3;
    if (v == 1) return false;
    if (((b[1] >> 1) & 3) != 1) return false;  // Layer III only
    const int br = b[2] >> 4;
    if (br == 15) return false;
    const int sf = (b[2] >> 2) & 3;
    if (sf == 3) return false;
    version = v == 3 ? 0 : (v == 2 ? 1 : 2);
    crc = (b[1] & 1) == 0;
    bitrateIndex = br;
    freeBytes = 0;
    freqIndex = sf;
    padding = (b[2] >> 1) & 1;
    mode = b[3] >> 6;
    modeExt = (b[3] >> 4) & 3;
    return true;
}

int MP3Header::Bitrate() const {
    if (bitrateIndex == 0) return int(int64_t(freeBytes) * SampleRate() / SizeFactor());
    return kBitrates[version == 0 ? 0 : 1][bitrateIndex];
}

int MP3Header::SampleRate() const {
    return kBaseRates[freqIndex] >> version;
}

int MP3Header::PayloadBytes() const {
    const int slots = bitrateIndex == 0 ? freeBytes : SizeFactor() * Bitrate() / SampleRate();
    return slots + padding - 4 - (crc ? 2 : 0);
}

int MP3Header::SideInfoBytes() const {
    if (version == 0) return mode == 3 ? 17 : 32;
    return mode == 3 ? 9 : 17;
}

void MP3SideInfo::Parse(const uint8_t* bytes, const MP3Header& h) {
    MP3BitReader br(bytes, h.SideInfoBytes());
    const int nch = h.Channels();
    const bool mpeg1 = h.version == 0;
    mainDataBegin = int(br.Get(mpeg1 ? 9 : 8));
    br.Get(mpeg1 ? (nch == 1 ? 5 : 3) : (nch == 1 ? 1 : 2));
    for (int ch = 0; ch < 2; ++ch)
        for (int b = 0; b < 4; ++b) scfsi[ch][b] = false;
    if (mpeg1)
        for (int ch = 0; ch < nch; ++ch)
            for (int b = 0; b < 4; ++b) scfsi[ch][b] = br.Get1() != 0;
    const bool intensity = h.mode == 1 && (h.modeExt & 1);
    for (int g = 0; g < h.Granules(); ++g) {
        for (int ch = 0; ch < nch; ++ch) {
            MP3GranuleInfo& gi = gr[g][ch];
            gi.part23Length = int(br.Get(12));
            gi.bigValues = int(br.Get(9));
            gi.globalGain = int(br.Get(8));
            gi.intensityScale = 0;
            if (mpeg1) {
                gi.scalefacCompress = int(br.Get(4));
            } else if (ch == 1 && intensity) {
                gi.scalefacCompress = int(br.Get(8));
                gi.intensityScale = int(br.Get1());
            } else {
                gi.scalefacCompress = int(br.Get(9));
            }
            gi.windowSwitching = br.Get1() != 0;
            if (gi.windowSwitching) {
                gi.blockType = int(br.Get(2));
                gi.mixedBlock = br.Get1() != 0;
                gi.tableSelect[0] = int(br.Get(5));
                gi.tableSelect[1] = int(br.Get(5));
                gi.tableSelect[2] = 0;
                for (int w = 0; w < 3; ++w) gi.subblockGain[w] = int(br.Get(3)) * 4;
                gi.region0Count = 7;
                gi.region1Count = 13;
                if (gi.blockType == 2)
                    for (int b = 0; b < 4; ++b) scfsi[ch][b] = false;
            } else {
                gi.blockType = 0;
                gi.mixedBlock = false;
                for (int r = 0; r < 3; ++r) gi.tableSelect[r] = int(br.Get(5));
                for (int w = 0; w < 3; ++w) gi.subblockGain[w] = 0;
                gi.region0Count = int(br.Get(4));
                gi.region1Count = int(br.Get(3));
            }
            if (mpeg1)
                gi.preflag = br.Get1() != 0;
            else
                gi.preflag = gi.scalefacCompress >= 500 && !(ch == 1 && intensity);
            gi.scalefacScale = int(br.Get1());
            gi.count1Table = int(br.Get1());
        }
    }
}

bool MP3ByteStream::OpenFile(const char* path) {
    memory_ = nullptr;
    if (!file_.Open(path)) return false;
    size_ = file_.GetFileSizeBytes();
    if (size_ < 0) size_ = 0;
    audioEnd_ = size_;
    pos_ = 0;
    bufStart_ = 0;
    bufLen_ = 0;
    freeBytes_ = freeFailures_ = 0;
    return true;
}

void MP3ByteStream::OpenMemory(const uint8_t* data, int64_t size) {
    file_.Close();
    memory_ = data;
    size_ = size < 0 ? 0 : size;
    audioEnd_ = size_;
    pos_ = 0;
    bufStart_ = 0;
    bufLen_ = 0;
    freeBytes_ = freeFailures_ = 0;
}

bool MP3ByteStream::Fill(int64_t offset) {
    if (memory_) return true;
    bufStart_ = offset;
    bufLen_ = 0;
    if (!file_.Seek(offset)) return false;
    while (bufLen_ < int32_t(sizeof(buf_))) {
        const int32_t got = file_.Read(buf_ + bufLen_, int32_t(sizeof(buf_)) - bufLen_);
        if (got <= 0) break;
        bufLen_ += got;
    }
    return true;
}

bool MP3ByteStream::ReadAt(int64_t offset, uint8_t* dst, int32_t n) {
    if (offset < 0 || n < 0 || offset + n > size_) return false;
    if (memory_) {
        std::memcpy(dst, memory_ + offset, size_t(n));
        return true;
    }
    int32_t done = 0;
    while (done < n) {
        const int64_t at = offset + done;
        if (at < bufStart_ || at >= bufStart_ + bufLen_) {
            if (!Fill(at) || bufLen_ == 0) return false;
        }
        int32_t take = int32_t(bufStart_ + bufLen_ - at);
        if (take > n - done) take = n - done;
        std::memcpy(dst + done, buf_ + (at - bufStart_), size_t(take));
        done += take;
    }
    return true;
}

bool MP3ByteStream::Read(uint8_t* dst, int32_t n) {
    if (n < 0 || n > Remaining()) return false;
    if (!ReadAt(pos_, dst, n)) return false;
    pos_ += n;
    return true;
}

bool MP3ByteStream::Skip(int64_t n) {
    if (n < 0 || n > Remaining()) return false;
    pos_ += n;
    return true;
}

void MP3ByteStream::SeekTo(int64_t offset) {
    pos_ = offset < 0 ? 0 : (offset > size_ ? size_ : offset);
}

bool MP3ByteStream::ReadHeader(MP3Header& h) {
    uint8_t w[4];
    if (!Read(w, 4)) return false;
    for (int slides = 0;; ++slides) {
        if (h.Parse(w) && (h.bitrateIndex != 0 || MeasureFreeFormat(h))) {
            if (h.crc && !Skip(2)) return false;
            return true;
        }
        if (slides >= 65535) return false;
        w[0] = w[1];
        w[1] = w[2];
        w[2] = w[3];
        if (!Read(&w[3], 1)) return false;
    }
}

bool MP3ByteStream::MeasureFreeFormat(MP3Header& h) {
    if (freeBytes_ > 0) {
        h.freeBytes = freeBytes_;
        return h.version == freeVersion_ && h.freqIndex == freeFreqIndex_;
    }
    if (freeFailures_ >= 16) return false;
    // 640 kbit/s, beyond any free-format encoder, at 8000 Hz takes 5761 bytes a frame.
    constexpr int kMaxFrame = 6144;
    const int64_t start = pos_ - 4;
    auto sameKind = [&](int64_t at, MP3Header& n) {
        uint8_t b[4];
        return ReadAt(at, b, 4) && n.Parse(b) && n.bitrateIndex == 0 && n.version == h.version &&
               n.freqIndex == h.freqIndex;
    };
    MP3Header next, third;
    for (int64_t at = start + 4 + h.SideInfoBytes(); at - start <= kMaxFrame && at + 4 <= audioEnd_;
         ++at) {
        if (!sameKind(at, next)) continue;
        const int bytes = int(at - start) - h.padding;
        const int64_t after = at + bytes + next.padding;
        if (after + 4 <= audioEnd_ && !sameKind(after, third)) continue;
        freeBytes_ = h.freeBytes = bytes;
        freeVersion_ = h.version;
        freeFreqIndex_ = h.freqIndex;
        return true;
    }
    ++freeFailures_;
    return false;
}
