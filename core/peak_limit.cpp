// Peak limiter: block gains, linear ramps, three-block look-ahead.
#include "core/peak_limit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/adapt.h"
#include "core/sample_range.h"

LSRCPeakLimit::LSRCPeakLimit(const LSourceRef& inner, int32_t level) : LSRCFilterBase(inner) {
    SetPeak(std::min(level, kMaxLevel));
    block_ = std::clamp(GetSampleRate() / 35, int32_t(20), LSOUND_BLOCK_FRAMES);
    start_ = 3 * block_;
    index_ = start_;
    for (auto& b : buffers_) b.assign(size_t(block_) * channels_, 0);
}

int32_t LSRCPeakLimit::BlockGain(int64_t m) const {
    const int64_t level = peak;
    if (m <= level) return kUnity;
    const int64_t q = (level * 512) / ((m + 64) >> 6);
    return int32_t(std::clamp<int64_t>(q * 512, INT32_MIN, INT32_MAX));
}

int32_t LSRCPeakLimit::Gain(const int32_t* block) const {
    int32_t lo, hi;
    LSampleRange(block, size_t(block_) * channels_, lo, hi);
    return BlockGain(std::max<int64_t>(hi, -int64_t(lo)));
}

void LSRCPeakLimit::Ramp() {
    const int64_t avg = (int64_t(g_[0]) + g_[1] + g_[2] + g_[3]) >> 2;
    const int64_t target = std::min({int64_t(g_[1]), int64_t(g_[2]), avg});
    const int64_t delta = target - gain_;
    step_ = int32_t(delta / block_);
    gain_ += int32_t(delta % block_);
}

void LSRCPeakLimit::Restart() {
    for (auto& b : buffers_) inner_->Read(b.data(), block_);
    g_[0] = g_[1] = Gain(buffers_[0].data());
    g_[2] = Gain(buffers_[1].data());
    g_[3] = Gain(buffers_[2].data());
    gain_ = g_[1];
    Ramp();
    index_ = 0;
}

void LSRCPeakLimit::Read(int32_t* out, int32_t n) {
    const int ch = channels_;
    if (GetError() != LSRC_OK) {
        if (n > 0) std::memset(out, 0, sizeof(int32_t) * size_t(n) * ch);
        return;
    }
    while (n > 0) {
        if (index_ >= block_) {
            if (index_ < start_) {
                std::swap(buffers_[0], buffers_[1]);  // current <- next
                std::swap(buffers_[1], buffers_[2]);  // next <- after next <- old current
                g_[0] = g_[1];
                g_[1] = g_[2];
                g_[2] = g_[3];
                inner_->Read(buffers_[2].data(), block_);
                g_[3] = Gain(buffers_[2].data());
                Ramp();
                index_ = 0;
            } else {
                Restart();
            }
        }
        const int32_t part = std::min(n, block_ - index_);
        const int32_t* in = buffers_[0].data() + size_t(index_) * ch;
        if (gain_ >= kUnity && step_ == 0) {
            std::memcpy(out, in, sizeof(int32_t) * size_t(part) * ch);
            out += size_t(part) * ch;
        } else {
            // x * G / 2^24 from three 12-bit partial products.
            for (int32_t f = 0; f < part; ++f) {
                const int64_t gh = gain_ >> 12, gl = gain_ & 0xFFF;
                for (int c = 0; c < ch; ++c) {
                    const int64_t x = *in++;
                    const int64_t v =
                        (x >> 12) * gh + ((gh * (x & 0xFFF)) >> 12) + (((x >> 12) * gl) >> 12);
                    *out++ = int32_t(v);
                }
                gain_ += step_;
            }
        }
        index_ += part;
        n -= part;
    }
}

int32_t LSRCPeakLimit::GetPosition() {
    return inner_->GetPosition() + index_ - start_;
}

int32_t LSRCPeakLimit::GetEndSample() {
    int32_t end = inner_->GetEndSample();
    if (inner_->IsStreaming()) end -= start_;
    return end;
}

void LSRCPeakLimit::Seek(int32_t frame) {
    inner_->Seek(frame);
    Restart();
}

void LSPPeakLimit::OpenSource(LSourceRef& out, const LSourceRef& in) {
    out = in;
    if (in->GetError() != LSRC_OK || level_ >= in->GetPeak()) return;
    out = LSourceRef(new LSRCPeakLimit(in, level_));
}
