// ".gsm" file source and sink over the GSM 06.10 frame codec.
#include "formats/gsm.h"

#include <algorithm>
#include <cstring>

#include "support/trace.h"

namespace {
constexpr int32_t kN = LGSMFrame::kSamples;
constexpr int32_t kBytes = LGSMFrame::kFrameBytes;
}  // namespace

LGSMFileSource::LGSMFileSource(const char* path) : LSoundSourceBase(8000, 1, 0xFFFE0) {
    std::memset(frame_, 0, sizeof frame_);
    if (!file_.Open(path)) {
        LTrace("LGSMFileSource::LGSMFileSource Unable to open file");
        SetError(LSRC_ERR_OPEN);
        return;
    }
    const int64_t size = file_.GetFileSizeBytes();
    if (size > 0) length_ = int32_t(std::min<int64_t>(size / kBytes * kN, INT32_MAX / kN * kN));
}

void LGSMFileSource::DecodeNext(int32_t* out) {
    uint8_t bytes[kBytes] = {};
    if (file_.IsOpen()) file_.Read(bytes, kBytes);
    codec_.DecodeNormal(bytes, out);
}

void LGSMFileSource::Read(int32_t* buffer, int32_t n) {
    if (n <= 0) return;
    const int64_t p = position_;
    const int64_t end = p + n;
    position_ = int32_t(std::min<int64_t>(end, INT32_MAX));
    std::memset(buffer, 0, sizeof(int32_t) * size_t(n));
    int32_t* out = buffer;
    int64_t from = p;
    if (p < 0) {
        out += std::min<int64_t>(-p, n);
        from = 0;
    }
    int64_t want = std::min<int64_t>(end, length_) - from;
    if (want <= 0) return;
    // The rest of the decoded frame.
    const int32_t take = int32_t(std::min<int64_t>(want, kN - readIndex_));
    std::memcpy(out, frame_ + readIndex_, sizeof(int32_t) * size_t(take));
    readIndex_ += take;
    out += take;
    want -= take;
    // Whole frames straight into the output, fetched together; missing bytes decode as zeros.
    while (want >= kN) {
        const int32_t frames = int32_t(std::min<int64_t>(want / kN, kMaxFrames));
        const int32_t bytes = frames * kBytes;
        int32_t got = file_.IsOpen() ? file_.Read(bytes_, bytes) : 0;
        if (got < bytes)
            std::memset(bytes_ + std::max(got, 0), 0, size_t(bytes - std::max(got, 0)));
        for (int32_t f = 0; f < frames; ++f, out += kN)
            codec_.DecodeNormal(bytes_ + f * kBytes, out);
        want -= int64_t(frames) * kN;
    }
    // Part of one more frame.
    if (want > 0) {
        DecodeNext(frame_);
        std::memcpy(out, frame_, sizeof(int32_t) * size_t(want));
        readIndex_ = int32_t(want);
    }
}

void LGSMFileSource::Seek(int32_t sample) {
    codec_.Reset();
    readIndex_ = kN;
    position_ = sample;
    if (!file_.IsOpen()) return;
    if (sample > 0 && sample <= length_) {
        file_.Seek(int64_t(sample / kN) * kBytes);
        DecodeNext(frame_);
        readIndex_ = sample % kN;
    } else if (sample > length_) {
        file_.Seek(int64_t(length_ / kN) * kBytes);
    } else {
        file_.Seek(0);
    }
}

LGSMFileSink::LGSMFileSink(const char* path) : LSoundSinkBase(8000, 1) {
    if (!file_.Create(path)) {
        LTrace("LGSMFileSink::LGSMFileSink Unable to create file");
        errorFlags_ |= LSNK_ERR_UNUSABLE;
    }
}

LGSMFileSink::~LGSMFileSink() {
    Close();
}

bool LGSMFileSink::Close() {
    if (!file_.IsOpen()) return false;
    bool ok = !IsUnusable();
    if (ok && buffered_ > 0) {
        std::fill(buffer_ + buffered_, buffer_ + kN, 0);
        ok = EncodeAndWrite(buffer_);
        buffered_ = 0;
    }
    file_.Close();
    return ok;
}

int LGSMFileSink::Finish(LProgressDialog* dlg) {
    if (!Close()) {
        LTrace("LGSMFileSink::Finish Unable to complete the file");
        MarkUnusable();
    }
    return LSoundSinkBase::Finish(dlg);
}

bool LGSMFileSink::EncodeAndWrite(const int32_t* samples) {
    uint8_t frame[kBytes];
    codec_.EncodeNormal(samples, frame);
    return !file_.IsOpen() || file_.Write(frame, kBytes) == kBytes;
}

int32_t LGSMFileSink::Write(const int32_t* buffer, int32_t n) {
    if (n <= 0) return 1;
    sPosition += n;
    if (IsUnusable()) return 0;
    bool ok = true;
    if (buffered_ > 0) {
        const int32_t take = std::min(n, kN - buffered_);
        std::memcpy(buffer_ + buffered_, buffer, sizeof(int32_t) * size_t(take));
        buffered_ += take;
        buffer += take;
        n -= take;
        if (buffered_ == kN) {
            ok = EncodeAndWrite(buffer_) && ok;
            buffered_ = 0;
        }
    }
    // Whole frames are encoded together and written in one request.
    while (n >= kN) {
        const int32_t frames = std::min(n / kN, int32_t(kMaxFrames));
        for (int32_t f = 0; f < frames; ++f, buffer += kN)
            codec_.EncodeNormal(buffer, bytes_ + f * kBytes);
        const int32_t bytes = frames * kBytes;
        if (file_.IsOpen() && file_.Write(bytes_, bytes) != bytes) ok = false;
        n -= frames * kN;
    }
    if (n > 0) {
        std::memcpy(buffer_ + buffered_, buffer, sizeof(int32_t) * size_t(n));
        buffered_ += n;
    }
    if (!ok) {
        LTrace("LGSMFileSink::Write Unable to write the file");
        MarkUnusable();
    }
    return ok && file_.IsOpen() ? 1 : 0;
}
