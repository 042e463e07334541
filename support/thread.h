// Worker threads with a stop signal and a timed stop, manual-reset events, and notifications
// from worker threads back to the thread that owns the user interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "support/waitable.h"

// A manual-reset event, created non-signalled. Once set it stays set until Reset.
class LSignalObject : public LWaitable {
  public:
    LSignalObject();
    ~LSignalObject() override;
    LSignalObject(const LSignalObject&) = delete;
    LSignalObject& operator=(const LSignalObject&) = delete;

    void Set();
    void Reset();
    // The zero wait: true when set.
    bool IsSet() { return WaitFor(0); }

    // A HANDLE on Windows; 0 elsewhere.
    intptr_t NativeHandle() const override { return hSignalObject; }
    bool WaitFor(uint32_t ms) override;

    // One wait for either `own` or this signal (a thread's stop signal): 0 when `own` fired
    // (also when both did), LPROCESS_STOPPED when this signal fired, LPROCESS_FAILED on the
    // time-out (ms may be LWAIT_INFINITE).
    int WaitSignalDual(LWaitable& own, uint32_t ms);

  private:
    intptr_t hSignalObject = 0;
    std::atomic<bool> set_{false};  // the state where the platform has no event object
};

// Thread priorities (the Win32 values; where a platform cannot honour them they are ignored).
enum : int {
    LTHREAD_PRIORITY_IDLE = -15,
    LTHREAD_PRIORITY_LOWEST = -2,
    LTHREAD_PRIORITY_BELOW_NORMAL = -1,
    LTHREAD_PRIORITY_NORMAL = 0,
    LTHREAD_PRIORITY_ABOVE_NORMAL = 1,
    LTHREAD_PRIORITY_HIGHEST = 2,
    LTHREAD_PRIORITY_TIME_CRITICAL = 15,
};

// A thread object: ThreadFunction runs on its own thread and must watch the stop signal.
// A derived class stops the thread in its own destructor (StopThreadTimed) when its
// ThreadFunction uses members of the derived class; the base destructor stops it too (5000 ms)
// but by then the derived part is gone.
class LThread {
  public:
    LThread() = default;
    virtual ~LThread();
    LThread(const LThread&) = delete;
    LThread& operator=(const LThread&) = delete;

    // Starts the thread unless it is running already (then nothing happens).
    void Start(int priority = LTHREAD_PRIORITY_NORMAL);
    // Sets the stop signal and waits up to ms for the thread to end; see the platform notes.
    void StopThreadTimed(uint32_t ms);

    // Changes the running thread's priority (any thread may call; nothing when there is none).
    void SetPriority(int priority);

    bool IsRunning() const { return running_ && *running_; }
    bool HasThread() const { return thread_ != 0; }
    LSignalObject& StopSignal() { return stop_; }
    // The stop test for ThreadFunction: the stop signal with a zero wait.
    bool StopRequested() { return stop_.IsSet(); }

  protected:
    virtual void ThreadFunction() = 0;

  private:
    using RunningFlag = std::shared_ptr<std::atomic<bool>>;
    static void ThreadFunc(LThread* self, const RunningFlag& running);
    friend struct LThreadEntry;

    intptr_t thread_ = 0;  // HANDLE on Windows, a pthread_t holder elsewhere; 0 when none
    // One flag per start, shared with that run's thread: a thread let go by a timed stop
    // clears its own flag when it ends, never the object's (which may be gone by then).
    RunningFlag running_;
    LSignalObject stop_;
    std::mutex start_;  // held over the whole start sequence
};

// Carries notifications from any thread to the thread that created the object. On Windows a
// hidden "LTQN" window receives a posted WM_USER; elsewhere a queue is drained by
// DeliverPending, which the creating thread's message pump (LProgressDialog::PumpMessages and
// its waits) calls.
class LThreadQueuedNotify {
  public:
    LThreadQueuedNotify();
    virtual ~LThreadQueuedNotify();
    LThreadQueuedNotify(const LThreadQueuedNotify&) = delete;
    LThreadQueuedNotify& operator=(const LThreadQueuedNotify&) = delete;

    // Any thread; never blocks. Each call leads to one Notified call on the creating thread.
    void Notify();

    // Runs the notifications waiting for objects created on the calling thread; returns how
    // many ran. (On Windows the thread's message loop delivers them; this returns 0.)
    static int DeliverPending();

  protected:
    // The notification handler, run on the creating thread.
    virtual void Notified() = 0;

  private:
    friend struct LThreadQueuedNotifyAccess;
    intptr_t window_ = 0;  // the hidden window on Windows
    uint64_t owner_ = 0;   // the creating thread elsewhere
};
