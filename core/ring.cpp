// The ring bridge: bucket, events and the two ends.
#include "core/ring.h"

#include <algorithm>
#include <cstring>

#include "support/trace.h"

LBucketThreadUnsafe::LBucketThreadUnsafe(uint32_t capacity)
    : capacity_(std::max<uint32_t>(capacity, 2)), buffer_(capacity_) {}

uint32_t LBucketThreadUnsafe::Free() const {
    const int64_t d =
        int64_t(read_.load(std::memory_order_acquire)) - write_.load(std::memory_order_relaxed) - 1;
    return uint32_t(d < 0 ? d + capacity_ : d);
}

uint32_t LBucketThreadUnsafe::Filled() const {
    const int64_t d =
        int64_t(write_.load(std::memory_order_acquire)) - read_.load(std::memory_order_relaxed);
    return uint32_t(d < 0 ? d + capacity_ : d);
}

void LBucketThreadUnsafe::Put(const uint8_t* data, uint32_t bytes) {
    const uint32_t w = write_.load(std::memory_order_relaxed);
    const uint32_t first = std::min(bytes, capacity_ - w);
    std::memcpy(buffer_.data() + w, data, first);
    std::memcpy(buffer_.data(), data + first, bytes - first);
    write_.store((w + bytes) % capacity_, std::memory_order_release);
}

void LBucketThreadUnsafe::Get(uint8_t* data, uint32_t bytes) {
    const uint32_t r = read_.load(std::memory_order_relaxed);
    const uint32_t first = std::min(bytes, capacity_ - r);
    std::memcpy(data, buffer_.data() + r, first);
    std::memcpy(data + first, buffer_.data(), bytes - first);
    read_.store((r + bytes) % capacity_, std::memory_order_release);
}

LSinkToSource::LSinkToSource(int32_t sampleRate, int channels, int32_t peak, uint32_t capacityBytes)
    : sampleRate_(sampleRate),
      channels_(uint8_t(channels)),
      peak_(peak),
      frameSize_(int32_t(uint8_t(channels)) * 4),
      bucket_(capacityBytes) {}

LSinkToSourceSink::LSinkToSourceSink(LSinkToSource* ring)
    : LSoundSinkBase(ring->sampleRate_, ring->channels_), ring_(ring) {
    ring_->AddRef();
    if (ring_->sinkConnected_.exchange(true))
        LTrace(
            "LSinkToSourceSink::LSinkToSourceSink bSinkConnected already true - you may have "
            "called OpenSink twice");
}

LSinkToSourceSink::~LSinkToSourceSink() {
    ring_->sinkConnected_ = false;
    ring_->dataEvent_.Set();
    ring_->Release();
}

int32_t LSinkToSourceSink::Write(const int32_t* buffer, int32_t n) {
    sPosition += n;
    if (n <= 0) return 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(buffer);
    uint32_t remaining = uint32_t(n) * uint32_t(ring_->frameSize_);
    while (remaining > 0) {
        ring_->spaceEvent_.Reset();
        const uint32_t free = ring_->bucket_.Free();
        if (free == 0) {
            if (!ring_->sourceConnected_) break;  // nobody will read it
            ring_->spaceEvent_.WaitFor(200);
            continue;
        }
        const uint32_t part = std::min(remaining, free);
        ring_->bucket_.Put(p, part);
        ring_->dataEvent_.Set();
        p += part;
        remaining -= part;
    }
    return 0;
}

LSinkToSourceSource::LSinkToSourceSource(LSinkToSource* ring)
    : LSoundSourceBase(ring->sampleRate_, ring->channels_, ring->peak_), ring_(ring) {
    ring_->AddRef();
    if (ring_->sourceConnected_.exchange(true))
        LTrace(
            "LSinkToSourceSource::LSinkToSourceSource bSourceConnected is already true - you may "
            "have called OpenSource twice");
}

LSinkToSourceSource::~LSinkToSourceSource() {
    Disconnect();
    ring_->Release();
}

void LSinkToSourceSource::Disconnect() {
    if (!connected_) return;
    connected_ = false;
    ring_->sourceConnected_ = false;
    ring_->spaceEvent_.Set();
}

void LSinkToSourceSource::Read(int32_t* buffer, int32_t n) {
    if (n <= 0) return;
    uint8_t* p = reinterpret_cast<uint8_t*>(buffer);
    uint32_t remaining = uint32_t(n) * uint32_t(ring_->frameSize_);
    while (remaining > 0) {
        ring_->dataEvent_.Reset();
        uint32_t filled = ring_->bucket_.Filled();
        if (filled == 0) {
            if (ring_->sinkConnected_) {
                ring_->dataEvent_.WaitFor(1000);
                continue;
            }
            // The writer may have placed its last bytes just before it went away.
            filled = ring_->bucket_.Filled();
            if (filled == 0) {
                std::memset(p, 0, remaining);
                return;
            }
        }
        const uint32_t part = std::min(remaining, filled);
        ring_->bucket_.Get(p, part);
        ring_->spaceEvent_.Set();
        p += part;
        remaining -= part;
    }
}

int32_t LSinkToSourceSource::GetEndSample() {
    ring_->dataEvent_.Reset();
    return int32_t(ring_->bucket_.Filled() / uint32_t(ring_->frameSize_));
}

void LSinkToSourceSource::WaitForData(int32_t ms) {
    if (ms > 0) ring_->dataEvent_.WaitFor(uint32_t(ms));
}
