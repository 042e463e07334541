// The ring bridge: a byte ring with a sink end and a source end for two threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/sound.h"
#include "support/thread.h"

// A byte ring with one writer thread and one reader thread, each moving only its own index; one
// byte of the capacity always stays empty.
class LBucketThreadUnsafe {
  public:
    explicit LBucketThreadUnsafe(uint32_t capacity);
    uint32_t Free() const;
    uint32_t Filled() const;
    // Copy in or out at most `bytes` (callers pass no more than Free() or Filled()).
    void Put(const uint8_t* data, uint32_t bytes);
    void Get(uint8_t* data, uint32_t bytes);

  private:
    uint32_t capacity_;
    std::vector<uint8_t> buffer_;
    std::atomic<uint32_t> read_{0};
    std::atomic<uint32_t> write_{0};
};

class LSinkToSourceSink;
class LSinkToSourceSource;

// The shared ring: frames written through the sink end come out of the source end.
class LSinkToSource {
  public:
    LSinkToSource(int32_t sampleRate, int channels, int32_t peak, uint32_t capacityBytes);
    LSinkToSource(const LSinkToSource&) = delete;
    LSinkToSource& operator=(const LSinkToSource&) = delete;

    void AddRef() { ++refCount_; }
    void Release() {
        if (--refCount_ == 0) delete this;
    }

    int32_t SampleRate() const { return sampleRate_; }
    int Channels() const { return channels_; }
    int32_t Peak() const { return peak_; }

  private:
    friend class LSinkToSourceSink;
    friend class LSinkToSourceSource;
    ~LSinkToSource() = default;

    std::atomic<int32_t> refCount_{0};
    int32_t sampleRate_;
    uint8_t channels_;
    int32_t peak_;
    int32_t frameSize_;
    std::atomic<bool> sinkConnected_{false};
    std::atomic<bool> sourceConnected_{false};
    LBucketThreadUnsafe bucket_;
    LSignalObject dataEvent_;   // bytes were added, or the sink end went away
    LSignalObject spaceEvent_;  // bytes were removed, or the source end went away
};

// The producer's end: writes block while the ring is full and a reader exists.
class LSinkToSourceSink : public LSoundSinkBase {
  public:
    explicit LSinkToSourceSink(LSinkToSource* ring);
    ~LSinkToSourceSink() override;
    int32_t Write(const int32_t* buffer, int32_t n) override;

  private:
    LSinkToSource* ring_;
};

// The consumer's end: reads block while the ring is empty and a writer exists, then give zeros.
class LSinkToSourceSource : public LSoundSourceBase {
  public:
    explicit LSinkToSourceSource(LSinkToSource* ring);
    ~LSinkToSourceSource() override;
    void Read(int32_t* buffer, int32_t n) override;
    int32_t GetPosition() override { return 0; }
    // The whole frames buffered now.
    int32_t GetEndSample() override;
    bool IsStreaming() override { return ring_->sinkConnected_; }
    void WaitForData(int32_t ms) override;

  protected:
    // Tells a writer blocked on a full ring that nobody reads any more.
    void Disconnect();

  private:
    LSinkToSource* ring_;
    bool connected_ = true;
};
