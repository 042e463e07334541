// Runs a producer operation on its own thread into a ring bridge whose source end is the consumer.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "core/ring.h"
#include "support/progress.h"
#include "support/thread.h"
#include "support/trace.h"

// The progress surface of a producer running on a worker thread: no window; "cancel" is the
// given stop signal.
class LThreadProgress : public LProgressDialog {
  public:
    explicit LThreadProgress(LSignalObject& stop) : LProgressDialog(""), stop_(stop) {}
    bool PumpMessages() override { return stop_.IsSet(); }
    void SetText(const char*, int) override {}
    void SetProgress(double) override {}
    int WaitTimed(uint32_t ms) override;
    int WaitForObject(LWaitable& object, uint32_t ms) override;
    void ShowError(const char* text) override { LTrace(text); }

  protected:
    bool ProcessBody() override { return false; }

  private:
    LSignalObject& stop_;
};

// What a producer thread works on: its data record (which holds the sink end), its stop signal
// and its progress surface. The thread and the consumer's source each hold a reference, so a
// producer that ignores its stop and is let go still finds all of it alive until it ends.
template <class T>
struct LSinkToSourceProducer {
    explicit LSinkToSourceProducer(T* r) : record(r), progress(stop) {}
    std::unique_ptr<T> record;
    LSignalObject stop;
    LThreadProgress progress;
};

// The consumer's source: a thread that runs the producer's operation on its data record (which it
// owns), and the ring's source end. Releasing this source stops the producer (the ring stops
// blocking it, then the stop signal) and waits for it at most 5 s; a producer still running
// then is let go with its own reference to the record.
template <class T, int (*Body)(LProgressDialog*, T*)>
class LProcessSinkToSourceSource : public LThread, public LSinkToSourceSource {
  public:
    LProcessSinkToSourceSource(LSinkToSource* ring, T* record)
        : LSinkToSourceSource(ring), producer_(std::make_shared<LSinkToSourceProducer<T>>(record)) {
        Start();
    }
    ~LProcessSinkToSourceSource() override {
        Disconnect();  // a writer blocked on a full ring returns at once
        producer_->stop.Set();
        // The thread takes its reference first thing; after that it never touches this object.
        while (IsRunning() && !taken_.load(std::memory_order_acquire)) std::this_thread::yield();
        StopThreadTimed(5000);
    }

  protected:
    void ThreadFunction() override {
        std::shared_ptr<LSinkToSourceProducer<T>> producer = producer_;
        taken_.store(true, std::memory_order_release);
        Body(&producer->progress, producer->record.get());
        // Dropping the record releases the sink chain, which disconnects the writer.
        producer->record.reset();
    }

  private:
    std::shared_ptr<LSinkToSourceProducer<T>> producer_;
    std::atomic<bool> taken_{false};
};

// Builds a ring bridge around a producer: OpenSink gives the producer's sink end (to be placed,
// perhaps behind sink adapters, in its data record); OpenSource starts the producer on its own
// thread and returns the consumer's source.
template <class T, int (*Body)(LProgressDialog*, T*)>
class LProcessSinkToSource {
  public:
    LProcessSinkToSource(int32_t sampleRate, int channels, int32_t peak, uint32_t capacityBytes)
        : ring_(new LSinkToSource(sampleRate, channels, peak, capacityBytes)) {
        ring_->AddRef();
    }
    ~LProcessSinkToSource() { ring_->Release(); }
    LProcessSinkToSource(const LProcessSinkToSource&) = delete;
    LProcessSinkToSource& operator=(const LProcessSinkToSource&) = delete;

    LSinkRef OpenSink() { return LSinkRef(new LSinkToSourceSink(ring_)); }
    // Takes over the heap-allocated record.
    LSourceRef OpenSource(T* record) {
        return LSourceRef(new LProcessSinkToSourceSource<T, Body>(ring_, record));
    }

  private:
    LSinkToSource* ring_;
};
