// Sink-side resampler and channel adapters.
#include "core/sink_adapt.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "support/progress.h"
#include "support/trace.h"

namespace {
constexpr int32_t kHalfTaps = LSinkConvertRate::kTaps / 2;                       // 7
constexpr int32_t kInputFrames = LSOUND_BLOCK_FRAMES + LSinkConvertRate::kTaps;  // 8207
}  // namespace

void LSinkConvertRate::OpenSink(LSinkRef& out, int32_t producerRate, const LSinkRef& inner) {
    const int32_t rate = inner ? inner->GetSampleRate() : 44100;
    if (rate == producerRate) {
        out = inner;
        return;
    }
    out = LSinkRef(new LSinkConvertRate(producerRate, inner));
}

LSinkConvertRate::LSinkConvertRate(int32_t producerRate, const LSinkRef& inner)
    : LSinkConvertRateBase(producerRate, inner ? inner->GetChannels() : 1, inner) {
    const int32_t outRate = inner ? inner->GetSampleRate() : 44100;
    if (producerRate < 1 || outRate < 1 || !filter_.Design(producerRate, outRate, false, kTaps)) {
        LTrace("LSinkConvertRate::LSinkConvertRate ratio out of range");
        SetErrorFlags(GetErrorFlags() | LSNK_ERR_UNUSABLE);
    }
    if (inner && inner->IsUnusable()) SetErrorFlags(GetErrorFlags() | LSNK_ERR_UNUSABLE);
    input_.assign(size_t(kInputFrames) * channels_, 0);
    output_.assign(size_t(LSOUND_BLOCK_FRAMES) * channels_, 0);
    Reset();
}

int LSinkConvertRateBase::FinishInner(LProgressDialog* dlg) {
    const int status = inner_ && !IsUnusable() ? inner_->Finish(dlg) : LPROCESS_OK;
    FollowInner();
    return status != LPROCESS_OK ? status : LSoundSinkBase::Finish(dlg);
}

LSinkConvertRate::~LSinkConvertRate() {
    LTrace("LSinkConvertRateBase::~LSinkConvertRateBase()");
    if (!flushed_) Flush();
}

int LSinkConvertRate::Finish(LProgressDialog* dlg) {
    if (!flushed_) Flush();
    flushed_ = true;
    return FinishInner(dlg);
}

void LSinkConvertRate::Reset() {
    std::fill(input_.begin(), input_.begin() + kHalfTaps * channels_, 0);
    filled_ = kHalfTaps * channels_;
    accumulator_ = 0;
    skip_ = 0;
}

void LSinkConvertRate::Emit(int32_t frames) {
    if (frames > 0 && inner_) inner_->Write(output_.data(), frames);
    FollowInner();
}

void LSinkConvertRate::Process() {
    if (IsUnusable()) {
        filled_ = 0;
        return;
    }
    const int ch = channels_;
    const int32_t F = filled_ / ch;
    const int32_t phases = filter_.n, step = filter_.N;
    int32_t d = skip_;
    int32_t produced = 0;
    while (d < F - kTaps) {
        const int32_t* row = filter_.Row(accumulator_);
        const int32_t* x = input_.data() + size_t(d) * ch;
        int32_t* o = output_.data() + size_t(produced) * ch;
        for (int c = 0; c < ch; ++c) {
            // Partial sums in 64 bits: full-scale input overflows 32.
            int64_t a = 0, b = 0;
            for (int t = 0; t < 8; ++t) a += int64_t(row[t]) * x[t * ch + c];
            for (int t = 8; t < kTaps; ++t) b += int64_t(row[t]) * x[t * ch + c];
            const int64_t v = ((a >> 1) + (b >> 1) + 1024) >> 11;
            o[c] = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
        }
        accumulator_ += step;
        d += accumulator_ / phases;
        accumulator_ %= phases;
        if (++produced == LSOUND_BLOCK_FRAMES) {
            Emit(produced);
            produced = 0;
        }
    }
    Emit(produced);
    // Keep the frames from d on; a step past the end (more than 16 input frames per output
    // frame) is carried over as frames to pass over in the next input instead.
    if (d < F) {
        std::memmove(input_.data(), input_.data() + size_t(d) * ch,
                     sizeof(int32_t) * size_t(F - d) * ch);
        filled_ = (F - d) * ch;
        skip_ = 0;
    } else {
        filled_ = 0;
        skip_ = d - F;
    }
}

int32_t LSinkConvertRate::Write(const int32_t* buffer, int32_t n) {
    sPosition += n;
    const int ch = channels_;
    while (n > 0) {
        const int32_t part = std::min(n, LSOUND_BLOCK_FRAMES);
        int32_t* dst = input_.data() + filled_;
        for (int32_t i = 0; i < part * ch; ++i) dst[i] = buffer[i] >> 4;
        filled_ += part * ch;
        Process();
        buffer += size_t(part) * ch;
        n -= part;
    }
    return 0;
}

void LSinkConvertRate::Flush() {
    const int ch = channels_;
    std::fill(input_.begin() + filled_, input_.begin() + filled_ + 8 * ch, 0);
    filled_ += 8 * ch;
    Process();
}

void LSinkConvertRate::Seek(int32_t frame) {
    Flush();
    if (inner_) {
        inner_->Seek(frame);
        sPosition = inner_->GetPosition();
    } else {
        sPosition = std::clamp(frame, 0, sPosition);
    }
    Reset();
}

void LSinkConvertChannels::OpenSink(LSinkRef& out, const LSinkRef& inner, int fromChannels) {
    const int to = inner ? inner->GetChannels() : 1;
    if (fromChannels == to) {
        out = inner;
    } else if (fromChannels == 2 && to == 1) {
        out = LSinkRef(new LSinkConvertChannels(2, inner));
    } else if (fromChannels == 1 && to == 2) {
        out = LSinkRef(new LSinkConvertChannels(1, inner));
    } else {
        if (fromChannels != 1 && fromChannels != 2) {
            LTrace(("LSinkConvertChannels::OpenSink INVALID uFromChannels=" +
                    std::to_string(fromChannels))
                       .c_str());
        } else {
            LTrace(("LSinkConvertChannels::OpenSink INVALID uToChannels=" + std::to_string(to))
                       .c_str());
        }
        out = LSinkRef();
    }
}

LSinkConvertChannels::LSinkConvertChannels(int fromChannels, const LSinkRef& inner)
    : LSinkConvertRateBase(inner ? inner->GetSampleRate() : 44100, fromChannels, inner) {
    if (inner && inner->IsUnusable()) SetErrorFlags(GetErrorFlags() | LSNK_ERR_UNUSABLE);
    buffer_.assign(size_t(LSOUND_BLOCK_FRAMES) * (fromChannels == 2 ? 1 : 2), 0);
}

int32_t LSinkConvertChannels::Write(const int32_t* in, int32_t n) {
    sPosition += n;
    while (n > 0) {
        const int32_t part = std::min(n, LSOUND_BLOCK_FRAMES);
        if (channels_ == 2) {
            for (int32_t i = 0; i < part; ++i)
                buffer_[size_t(i)] = int32_t((int64_t(in[2 * i]) + in[2 * i + 1]) >> 1);
            in += 2 * size_t(part);
        } else {
            for (int32_t i = 0; i < part; ++i)
                buffer_[2 * size_t(i)] = buffer_[2 * size_t(i) + 1] = in[i];
            in += part;
        }
        if (inner_) inner_->Write(buffer_.data(), part);
        n -= part;
    }
    FollowInner();
    return 0;
}

void LSinkConvertChannels::Seek(int32_t frame) {
    if (inner_) {
        inner_->Seek(frame);
        sPosition = inner_->GetPosition();
    } else {
        sPosition = std::clamp(frame, 0, sPosition);
    }
}
