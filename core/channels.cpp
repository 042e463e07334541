// Source-side channel adapters and the sound-process factories that build the adapter chain.
#include "core/channels.h"

#include <algorithm>

#include "core/adapt.h"
#include "core/convert_rate.h"
#include "core/peak_limit.h"
#include "support/trace.h"

LSRCChannelsBase::LSRCChannelsBase(const LSourceRef& inner, int channels)
    : LSRCFilterBase(inner),
      buffer_(size_t(LSOUND_BLOCK_FRAMES) * size_t(inner->GetChannels()), 0) {
    SetChannels(channels);
}

void LSRCMonoToStereo::Read(int32_t* out, int32_t n) {
    while (n > 0) {
        const int32_t part = std::min(n, LSOUND_BLOCK_FRAMES);
        inner_->Read(buffer_.data(), part);
        for (int32_t i = 0; i < part; ++i) out[2 * i] = out[2 * i + 1] = buffer_[size_t(i)];
        out += 2 * part;
        n -= part;
    }
}

void LSRCStereoToMono::Read(int32_t* out, int32_t n) {
    while (n > 0) {
        const int32_t part = std::min(n, LSOUND_BLOCK_FRAMES);
        inner_->Read(buffer_.data(), part);
        for (int32_t i = 0; i < part; ++i) out[i] = buffer_[2 * size_t(i)];
        out += part;
        n -= part;
    }
}

void LSPConvChannels::OpenSource(LSourceRef& out, const LSourceRef& in) {
    out = in;
    if (in->GetError() != LSRC_OK) return;
    const int from = in->GetChannels();
    if (from == 1 && channels_ == 2) {
        out = LSourceRef(new LSRCMonoToStereo(in));
    } else if (from == 2 && channels_ == 1) {
        out = LSourceRef(new LSRCStereoToMono(in));
    } else if (from != int(channels_)) {
        LTrace(
            "LSPConvChannels::OpenSource Multichannels (or 0) used when BUILD_SUPPORT_MULTICHANS "
            "is not set");
    }
}

void LSPConvertRate::OpenSource(LSourceRef& out, const LSourceRef& in) {
    out = in;
    if (in->GetError() != LSRC_OK) return;
    const int32_t from = in->GetSampleRate();
    if (sampleRate_ == from) return;
    if (sampleRate_ < from / 4) {
        LSourceRef first(new LSRCConvertRate(
            in, int32_t(std::min<int64_t>(int64_t(sampleRate_) * 2, INT32_MAX)), true));
        out = LSourceRef(new LSRCConvertRate(first, sampleRate_, false));
    } else {
        out = LSourceRef(new LSRCConvertRate(in, sampleRate_, false));
    }
}

void ConvertSourceFormat(int32_t sampleRate, int channels, LSourceRef& source) {
    if (source->GetChannels() > channels) {
        LSourceRef next;
        LSPConvChannels(uint16_t(channels)).OpenSource(next, source);
        source = next;
    }
    if (source->GetSampleRate() != sampleRate) {
        LSourceRef next;
        LSPConvertRate(sampleRate).OpenSource(next, source);
        source = next;
    }
    if (source->GetChannels() != channels) {
        LSourceRef next;
        LSPConvChannels(uint16_t(channels)).OpenSource(next, source);
        source = next;
    }
}
