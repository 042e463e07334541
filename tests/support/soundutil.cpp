// In-memory sources and sinks, reading whole sources and feeding sinks in pieces.
#include "tests/support/soundutil.h"

#include <algorithm>

namespace testutil {

MemorySource::MemorySource(int32_t rate, int channels, std::vector<int32_t> samples,
                           int32_t peakValue)
    : LSoundSourceBase(rate, channels, peakValue), samples_(std::move(samples)) {
    frames_ = int32_t(samples_.size() / size_t(GetChannels()));
}

void MemorySource::Read(int32_t* buffer, int32_t n) {
    const int64_t ch = GetChannels(), from = std::clamp<int64_t>(position_, 0, frames_),
                  to = std::clamp<int64_t>(int64_t(position_) + n, 0, frames_);
    std::fill_n(buffer, n * ch, 0);
    if (to > from)
        std::copy(&samples_[from * ch], &samples_[0] + to * ch, buffer + (from - position_) * ch);
    position_ += n;
}

int32_t MemorySink::Write(const int32_t* buffer, int32_t n) {
    sPosition += n;
    writeSizes.push_back(n);
    if (!IsUnusable()) samples.insert(samples.end(), buffer, buffer + size_t(n) * GetChannels());
    return 0;
}

void MemorySink::Seek(int32_t frame) {
    if (frame > sPosition) return;
    if (frame < 0) frame = 0;
    sPosition = frame;
    samples.resize(std::min(samples.size(), size_t(frame) * GetChannels()));
}

std::vector<int32_t> Ramp(size_t count) {
    std::vector<int32_t> v(count);
    for (size_t i = 0; i < count; ++i)
        v[i] = int32_t((i * 7919) % 0xFFFE0) - 0x7FFF0 + int32_t(i % 16);
    return v;
}

std::vector<int32_t> ReadToEnd(LSoundSourceBase* src) {
    const int ch = src->GetChannels();
    std::vector<int32_t> all, buf(size_t(LSOUND_BLOCK_FRAMES) * ch);
    for (int32_t left; (left = src->GetEndSample() - src->GetPosition()) > 0;) {
        const int32_t n = std::min(left, LSOUND_BLOCK_FRAMES);
        src->Read(buf.data(), n);
        all.insert(all.end(), buf.begin(), buf.begin() + size_t(n) * ch);
    }
    return all;
}

std::vector<int16_t> ReadAll16(LSoundSourceBase& source) {
    std::vector<int16_t> out;
    for (int32_t x : ReadToEnd(&source)) out.push_back(LSampleTo16(x));
    return out;
}

std::vector<int32_t> ReadFrames(LSoundSourceBase& source, int32_t n) {
    std::vector<int32_t> out(size_t(n) * size_t(source.GetChannels()));
    source.Read(out.data(), n);
    return out;
}

void Feed(LSoundSinkBase& sink, const std::vector<int32_t>& samples, int32_t piece) {
    const size_t ch = size_t(sink.GetChannels()), frames = samples.size() / ch;
    for (size_t at = 0; at < frames; at += size_t(piece))
        sink.Write(samples.data() + at * ch, int32_t(std::min(frames - at, size_t(piece))));
}

}  // namespace testutil
