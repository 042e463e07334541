// Runs a producer Process on its own thread into a ring bridge whose source end is the consumer.
#pragma once

#include "core/ring.h"
#include "support/progress.h"
#include "support/thread.h"
#include "support/trace.h"

// The progress surface of a producer running on a worker thread: no window; "cancel" is the
// thread's stop signal.
class LThreadProgress : public LProgressDialog {
  public:
    explicit LThreadProgress(LThread& owner) : LProgressDialog(""), owner_(owner) {}
    bool PumpMessages() override { return owner_.StopRequested(); }
    void SetText(const char*, int) override {}
    void SetProgress(double) override {}
    int WaitTimed(uint32_t ms) override;
    int WaitForObject(LWaitable& object, uint32_t ms) override;
    void ShowError(const char* text) override { LTrace(text); }

  protected:
    bool ProcessBody() override { return false; }

  private:
    LThread& owner_;
};

// The consumer's source: a thread that runs Process on the producer's data record (which it
// owns), and the ring's source end. Releasing this source stops the producer (the ring stops
// blocking it, then the stop signal) and waits for it.
template <class T>
class LProcessSinkToSourceSource : public LThread, public LSinkToSourceSource {
  public:
    LProcessSinkToSourceSource(LSinkToSource* ring, T* record)
        : LSinkToSourceSource(ring), record_(record), progress_(*this) {
        Start();
    }
    ~LProcessSinkToSourceSource() override {
        Disconnect();  // a writer blocked on a full ring returns at once
        StopThreadTimed(5000);
        delete record_;
        record_ = nullptr;
    }

  protected:
    void ThreadFunction() override {
        Process(&progress_, record_);
        // Dropping the record releases the sink chain, which disconnects the writer.
        delete record_;
        record_ = nullptr;
    }

  private:
    T* record_;
    LThreadProgress progress_;
};

// Builds a ring bridge around a producer: OpenSink gives the producer's sink end (to be placed,
// perhaps behind sink adapters, in its data record); OpenSource starts the producer on its own
// thread and returns the consumer's source.
template <class T>
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
        return LSourceRef(new LProcessSinkToSourceSource<T>(ring_, record));
    }

  private:
    LSinkToSource* ring_;
};
