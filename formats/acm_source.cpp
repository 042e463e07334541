// LSRCACMWave: decodes a WAV data chunk through the codec layer to 16-bit PCM on the fly.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "formats/acm.h"
#include "support/byteorder.h"
#include "support/trace.h"

namespace {
constexpr uint32_t kStreamingSize = 0xFFFFFFFF;
}

LSRCACMWave::LSRCACMWave(LFile&& file, const LWaveFormatEx* format, int64_t dataSize)
    : LSoundSourceBase(int32_t(format->nSamplesPerSec), format->nChannels, LSAMPLE_FULL_SCALE),
      file_(std::move(file)),
      dataSize_(dataSize) {
    if (!file_.IsOpen()) {
        SetError(LSRC_ERR_OPEN);
        return;
    }
    dataStart_ = file_.Tell();
    if (dataStart_ < 0) dataStart_ = 0;
    fileRate_ = int32_t(format->nSamplesPerSec);
    if (fileRate_ <= 0) fileRate_ = 1;
    avgBytes_ = format->nAvgBytesPerSec ? format->nAvgBytesPerSec : format->nSamplesPerSec;
    if (avgBytes_ <= 0) avgBytes_ = 1;
    blockAlign_ = format->nBlockAlign;

    const auto* record = reinterpret_cast<const uint8_t*>(format);
    format_.assign(record, record + sizeof(LWaveFormatEx) + format->cbSize);
    const LWaveFormatEx pcm = LAcmPCM16Format(format->nChannels, format->nSamplesPerSec);
    if (!OpenStream()) {
        LTrace("LSRCACMWave::LSRCACMWave acmStreamOpen handle invalid ERROR");
        SetError(LSRC_ERR_CODEC);
        return;
    }
    const uint32_t frameBytes = uint32_t(pcm.nBlockAlign);
    dstCap_ = frameBytes * LSOUND_BLOCK_FRAMES;
    srcCap_ = stream_->SourceSizeFor(dstCap_);
    if (srcCap_ == 0) {
        LTrace("LSRCACMWave::LSRCACMWave acmStreamSize ERROR");
        SetError(LSRC_ERR_CODEC);
        return;
    }
    // Frames of one whole block, so that seeking lands on block boundaries exactly.
    if (blockAlign_ > 0) {
        uint32_t perBlock = stream_->DestinationSizeFor(uint32_t(blockAlign_));
        // Only when it agrees with the rate and byte rate the record declares.
        int64_t frames = perBlock / frameBytes;
        int64_t declared = int64_t(blockAlign_) * fileRate_;
        if (perBlock > 0 && perBlock % frameBytes == 0 &&
            std::abs(frames * avgBytes_ - declared) * 50 <= declared)
            framesPerBlock_ = int32_t(frames);
    }
    src_.assign(srcCap_, 0);
    dst_.assign(dstCap_, 0);
    if (!stream_->Prepare(src_.data(), srcCap_, dst_.data(), dstCap_)) {
        LTrace("LSRCACMWave::LSRCACMWave acmStreamPrepareHeader ERROR");
        SetError(LSRC_ERR_CODEC);
        return;
    }
    prepared_ = true;
}

bool LSRCACMWave::OpenStream() {
    const auto* format = reinterpret_cast<const LWaveFormatEx*>(format_.data());
    const LWaveFormatEx pcm = LAcmPCM16Format(format->nChannels, format->nSamplesPerSec);
    stream_ = LAcmStreamOpen(format, &pcm, 0);
    if (!stream_) stream_ = LAcmStreamOpen(format, &pcm, LACM_OPEN_NONREALTIME);
    return stream_ != nullptr;
}

void LSRCACMWave::CloseStream() {
    if (!stream_) return;
    if (prepared_) stream_->Unprepare();
    prepared_ = false;
    stream_->Close();
    delete stream_;
    stream_ = nullptr;
}

LSRCACMWave::~LSRCACMWave() {
    CloseStream();
}

int64_t LSRCACMWave::BytesToFrames(int64_t bytes) const {
    return bytes / avgBytes_ * fileRate_ + (bytes % avgBytes_) * fileRate_ / avgBytes_;
}

int64_t LSRCACMWave::FramesToBytes(int64_t frames) const {
    return frames / fileRate_ * avgBytes_ + (frames % fileRate_) * avgBytes_ / fileRate_;
}

// The bytes of the data chunk: its size, or what the file holds while it is being written.
int64_t LSRCACMWave::DataLength() {
    if (dataSize_ != kStreamingSize) return dataSize_;
    int64_t size = file_.GetFileSizeBytes();
    return size > dataStart_ ? size - dataStart_ : 0;
}

void LSRCACMWave::Read(int32_t* buffer, int32_t n) {
    int32_t p = position_;
    position_ = int32_t(std::min<int64_t>(int64_t(p) + n, INT32_MAX));
    if (GetError() != LSRC_OK || n <= 0) return;
    const int ch = GetChannels();
    int32_t want = n;
    int32_t* out = buffer;
    if (p < 0) {
        int32_t zeros = std::min<int64_t>(-int64_t(p), n);
        std::fill(out, out + size_t(zeros) * ch, 0);
        out += size_t(zeros) * ch;
        want -= zeros;
    }
    const uint32_t frameBytes = uint32_t(ch) * 2;
    while (want > 0) {
        uint32_t waiting = (dstValid_ - dstPos_) / frameBytes;
        int32_t take = int32_t(std::min<uint32_t>(waiting, uint32_t(want)));
        if (take > 0) {
            const uint8_t* d = dst_.data() + dstPos_;
            for (int32_t i = 0; i < take * ch; ++i)
                out[i] = LSampleFrom16(int16_t(LoadLE16(d + 2 * i)));
            dstPos_ += uint32_t(take) * frameBytes;
            out += size_t(take) * ch;
            want -= take;
            continue;
        }
        dstValid_ = dstPos_ = 0;
        if (endFrame_ >= 0 || !Refill(want)) {
            std::fill(out, out + size_t(want) * ch, 0);
            return;
        }
    }
}

bool LSRCACMWave::Refill(int32_t stillWanted) {
    // Read what fits, never counting bytes beyond a known data size.
    uint32_t space = srcCap_ - srcValid_;
    if (space > 0) {
        int64_t toRead = space;
        if (dataSize_ != kStreamingSize)
            toRead = std::min<int64_t>(toRead, std::max<int64_t>(0, dataSize_ - bytesRead_));
        if (toRead > 0) {
            int32_t got = file_.Read(src_.data() + srcValid_, int32_t(toRead));
            if (got > 0) {
                srcValid_ += uint32_t(got);
                bytesRead_ += got;
            }
        }
    }
    uint32_t used = 0, produced = 0;
    bool ok = stream_->Convert(srcValid_, LACM_CONVERT_BLOCKALIGN, &used, &produced);
    if (ok && used == 0 && produced == 0 && srcValid_ == srcCap_) ok = false;  // stuck codec
    if (!ok) {
        // Skip a quarter of the buffer over damaged data, keeping to block boundaries.
        LTrace("LSRCACMWave::Read acmStreamConvert FAILED");
        uint32_t skip = (srcValid_ + 3) / 4;
        if (blockAlign_ > 1)
            skip =
                (skip + uint32_t(blockAlign_) - 1) / uint32_t(blockAlign_) * uint32_t(blockAlign_);
        skip = std::min(std::max<uint32_t>(skip, 1), srcValid_);
        if (skip == 0) {
            endFrame_ = std::max(0, position_ - stillWanted);
            return false;
        }
        std::memmove(src_.data(), src_.data() + skip, srcValid_ - skip);
        srcValid_ -= skip;
        return true;
    }
    if (produced == 0 && srcValid_ < srcCap_) {
        // The file has no more data: drop what the codec took, then flush what it holds.
        used = std::min(used, srcValid_);
        std::memmove(src_.data(), src_.data() + used, srcValid_ - used);
        srcValid_ -= used;
        used = produced = 0;
        if (!stream_->Convert(srcValid_, LACM_CONVERT_END, &used, &produced)) used = srcValid_;
        if (produced == 0) {
            LTrace("LSRCACMWave::Read End Reached");
            endFrame_ = std::max(0, position_ - stillWanted);
            srcValid_ = 0;
            return false;
        }
    }
    used = std::min(used, srcValid_);
    std::memmove(src_.data(), src_.data() + used, srcValid_ - used);
    srcValid_ -= used;
    dstValid_ = std::min(produced, dstCap_);
    dstPos_ = 0;
    return true;
}

int32_t LSRCACMWave::GetEndSample() {
    if (endFrame_ >= 0) return endFrame_;
    if (GetError() != LSRC_OK) return 0;
    int64_t dataLen;
    bool growing = false;
    if (dataSize_ == kStreamingSize) {
        // The writer rewrites the size field when it finishes.
        uint32_t size = 0;
        if (LWaveReadDataSize(file_, dataStart_, size) && size != kStreamingSize) dataSize_ = size;
        growing = dataSize_ == kStreamingSize;
    }
    dataLen = DataLength();
    int64_t remaining = std::max<int64_t>(0, dataLen - bytesRead_ + srcValid_);
    int64_t end = std::max(0, position_) + (dstValid_ - dstPos_) / (uint32_t(GetChannels()) * 2) +
                  BytesToFrames(remaining);
    if (growing) end -= (int64_t(blockAlign_) * fileRate_ + avgBytes_ - 1) / avgBytes_;
    end = std::clamp<int64_t>(end, 0, INT32_MAX);
    return int32_t(end);
}

void LSRCACMWave::Seek(int32_t t) {
    if (GetError() != LSRC_OK) return;
    // A fresh stream: some codecs keep their decoder state across a start flag.
    CloseStream();
    if (!OpenStream() || !stream_->Prepare(src_.data(), srcCap_, dst_.data(), dstCap_)) {
        LTrace("LSRCACMWave::Seek the codec stream cannot be opened again");
        SetError(LSRC_ERR_CODEC);
        return;
    }
    prepared_ = true;
    srcValid_ = dstValid_ = dstPos_ = 0;
    bytesRead_ = 0;
    endFrame_ = -1;
    if (t <= 0) {
        file_.Seek(dataStart_);
        position_ = t;
        return;
    }
    const int64_t dataLen = DataLength();
    const int64_t align = blockAlign_ > 0 ? blockAlign_ : 1;
    int64_t offset = framesPerBlock_ > 0 ? int64_t(t) / framesPerBlock_ * align : FramesToBytes(t);
    if (offset >= dataLen) {
        bytesRead_ = dataLen;
        file_.Seek(dataStart_ + dataLen);
        endFrame_ = int32_t(std::min<int64_t>(
            framesPerBlock_ > 0 ? dataLen / align * framesPerBlock_ : BytesToFrames(dataLen),
            INT32_MAX));
        position_ = t;
        return;
    }
    int64_t start = std::max<int64_t>(0, offset - std::max<int64_t>(2 * align, 256));
    start -= start % align;
    file_.Seek(dataStart_ + start);
    bytesRead_ = start;
    position_ =
        int32_t(framesPerBlock_ > 0 ? start / align * framesPerBlock_ : BytesToFrames(start));
    if (position_ < t && discard_.empty())
        discard_.assign(size_t(LSOUND_BLOCK_FRAMES) * GetChannels(), 0);
    while (position_ < t) Read(discard_.data(), std::min(LSOUND_BLOCK_FRAMES, t - position_));
    position_ = t;
}
