// LSNKACMFile: encodes 16-bit PCM through the codec layer into a WAV file of any format.
#include <algorithm>
#include <cstring>

#include "formats/acm.h"
#include "support/byteorder.h"
#include "support/trace.h"

namespace {

constexpr uint32_t kStreamingSize = 0xFFFFFFFF;

}  // namespace

LSNKACMFile::LSNKACMFile(const char* path, const LWaveFileFormat& format)
    : LSoundSinkBase(int32_t(format.Format().nSamplesPerSec), format.Format().nChannels) {
    record_.assign(format.Bytes(), format.Bytes() + format.RecordBytes());
    if (IsUnusable()) return;
    if (!file_.Create(path)) {
        LTrace("LSNKACMFile::LSNKACMFile Unable to create file");
        SetErrorFlags(LSNK_ERR_UNUSABLE);
        return;
    }
    const auto* target = reinterpret_cast<const LWaveFormatEx*>(record_.data());
    LWaveFormatEx pcm = LAcmPCM16Format(GetChannels(), target->nSamplesPerSec);
    stream_ = LAcmStreamOpen(&pcm, target, 0);
    if (!stream_) stream_ = LAcmStreamOpen(&pcm, target, LACM_OPEN_NONREALTIME);
    if (!stream_) {
        LTrace("LSNKACMFile::LSNKACMFile acmStreamOpen ERROR");
        SetErrorFlags(LSNK_ERR_UNUSABLE);
        return;
    }
    srcCap_ = uint32_t(pcm.nBlockAlign) * LSOUND_BLOCK_FRAMES;
    dstCap_ = stream_->DestinationSizeFor(srcCap_);
    if (dstCap_ == 0) {
        LTrace("LSNKACMFile::LSNKACMFile acmStreamSize <= 0 ERROR");
        SetErrorFlags(LSNK_ERR_UNUSABLE);
        return;
    }
    if (target->nBlockAlign > 0) pcmPerBlock_ = stream_->SourceSizeFor(target->nBlockAlign);
    src_.assign(srcCap_, 0);
    dst_.assign(dstCap_, 0);
    if (!stream_->Prepare(src_.data(), srcCap_, dst_.data(), dstCap_)) {
        LTrace("LSNKACMFile::LSNKACMFile acmStreamPrepareHeader ERROR");
        SetErrorFlags(LSNK_ERR_UNUSABLE);
        return;
    }
    prepared_ = true;
    if (!WriteHeader(kStreamingSize, kStreamingSize)) SetErrorFlags(LSNK_ERR_UNUSABLE);
}

bool LSNKACMFile::WriteHeader(uint32_t riffSize, uint32_t dataSize) {
    const uint32_t extra = uint32_t(record_.size()) - 18;
    uint8_t head[46 + LWAVE_FORMAT_BLOCK_BYTES];
    std::memcpy(head, "RIFF", 4);
    StoreLE32(head + 4, riffSize);
    std::memcpy(head + 8, "WAVEfmt ", 8);
    StoreLE32(head + 16, 18 + extra);
    std::memcpy(head + 20, record_.data(), record_.size());
    std::memcpy(head + 38 + extra, "data", 4);
    StoreLE32(head + 42 + extra, dataSize);
    const int32_t bytes = int32_t(46 + extra);
    return file_.Seek(0) && file_.Write(head, bytes) == bytes;
}

int32_t LSNKACMFile::Write(const int32_t* buffer, int32_t n) {
    sPosition += n;
    if (IsUnusable() || n <= 0) return n;
    const size_t total = size_t(n) * GetChannels();
    size_t placed = 0;
    while (placed < total) {
        size_t k = std::min(total - placed, size_t(srcCap_ - srcValid_) / 2);
        uint8_t* s = src_.data() + srcValid_;
        for (size_t i = 0; i < k; ++i) {
            StoreLE16(s + 2 * i, uint16_t(LSampleTo16(buffer[placed + i])));
        }
        srcValid_ += uint32_t(2 * k);
        placed += k;
        uint32_t used = 0, produced = 0;
        if (!stream_->Convert(srcValid_, LACM_CONVERT_BLOCKALIGN, &used, &produced))
            used = produced = 0;
        if (used == 0 && srcValid_ == srcCap_) {
            LTrace("LSNKACMFile::Write acmStreamConvert is not using the src!");
            MarkUnusable();
            break;
        }
        if (!Append(produced)) return n;
        used = std::min(used, srcValid_);
        std::memmove(src_.data(), src_.data() + used, srcValid_ - used);
        srcValid_ -= used;
    }
    return n;
}

bool LSNKACMFile::Append(uint32_t produced) {
    if (produced == 0) return true;
    const uint32_t extra = uint32_t(record_.size()) - 18;
    if (int64_t(encoded_) + produced > LWaveMaxDataBytes(int(46 + extra))) {
        LTrace("LSNKACMFile::Write The file would pass the size a WAV header can hold");
        tooLarge_ = true;
        MarkUnusable();
        return false;
    }
    if (file_.Write(dst_.data(), int32_t(produced)) != int32_t(produced)) {
        LTrace("LSNKACMFile::Write Unable to write the file");
        MarkUnusable();
        return false;
    }
    encoded_ += produced;
    return true;
}

bool LSNKACMFile::Close() {
    bool ok = !IsUnusable();
    if (stream_) {
        if (ok && prepared_ && file_.IsOpen()) {
            // Complete the last block with silence: some codecs drop a short one.
            if (pcmPerBlock_ > 0 && srcValid_ % pcmPerBlock_ != 0) {
                uint32_t padded = (srcValid_ / pcmPerBlock_ + 1) * pcmPerBlock_;
                if (padded <= srcCap_) {
                    std::memset(src_.data() + srcValid_, 0, padded - srcValid_);
                    srcValid_ = padded;
                }
            }
            uint32_t used = 0, produced = 0;
            if (stream_->Convert(srcValid_, LACM_CONVERT_END, &used, &produced))
                ok = Append(produced);
        }
        if (prepared_) stream_->Unprepare();
        if (!stream_->Close()) LTrace("LSNKACMFile::~LSNKACMFile acmStreamClose ERROR");
        delete stream_;
        stream_ = nullptr;
        const uint32_t extra = uint32_t(record_.size()) - 18;
        // A file that failed keeps its streaming header: it never claims data it does not hold.
        ok = ok && prepared_ && WriteHeader(encoded_ + extra + 38, encoded_);
    }
    const bool wasOpen = file_.IsOpen();
    file_.Close();
    return ok && wasOpen;
}

int LSNKACMFile::Finish(LProgressDialog* dlg) {
    if (!Close()) {
        LTrace("LSNKACMFile::Finish Unable to complete the file");
        MarkUnusable();
    }
    return LSoundSinkBase::Finish(dlg);
}

LSNKACMFile::~LSNKACMFile() {
    Close();
}
