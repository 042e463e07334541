// The headless progress surface and the queued notifications under it.
#include "support/progress.h"

#include <signal.h>

#include <atomic>

#include "support/thread.h"
#include "support/waitable.h"
#include "tests/support/kit.h"

namespace {

struct Counting {
    int steps = 0;
    int stopAt = -1;  // the step at which Ctrl+C comes
};

int CountUp(LProgressDialog* dlg, Counting* data) {
    dlg->SetText("ignored", 2);  // the console shows lines 0 and 1 only
    for (int i = 0; i < 100; ++i) {
        if (i == data->stopAt) ::raise(SIGINT);
        if (dlg->PumpMessages()) return LPROCESS_STOPPED;
        ++data->steps;
        dlg->SetProgress(i / 100.0);
    }
    return LPROCESS_OK;
}

// A waitable flag that tells when someone waits on it.
class Flag : public LWaitable {
  public:
    std::atomic<bool> set{false}, waiting{false};
    intptr_t NativeHandle() const override { return 0; }
    bool WaitFor(uint32_t ms) override {
        waiting = true;
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!set && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return set;
    }
};

// Ctrl+C stops the run at a step and only that run; the program's own handler is back after it.
TEST(ConsoleProgress, CtrlCStopsTheRunAndIsRestoredAfterwards) {
    static std::atomic<int> outside{0};
    struct sigaction sa = {}, old;
    sa.sa_handler = [](int) { ++outside; };
    sigaction(SIGINT, &sa, &old);
    Counting data{0, 5};
    LProgressProcess<Counting, CountUp> run("Test", &data);
    run.Run(nullptr);
    EXPECT_EQ(std::tuple(run.status, data.steps, outside.load()),
              std::tuple(LPROCESS_STOPPED, 5, 0));
    data = Counting{};
    EXPECT_TRUE(run.Run(nullptr));
    EXPECT_EQ(std::tuple(run.status, data.steps, run.GetWindow()),
              std::tuple(LPROCESS_OK, 100, nullptr));
    ::raise(SIGINT);
    EXPECT_EQ(outside, 1);
    sigaction(SIGINT, &old, nullptr);
}

struct Waiting {
    Flag* flag;
    uint32_t ms;
    int result = -1;
};

int WaitOnObject(LProgressDialog* dlg, Waiting* w) {
    w->result = w->flag ? dlg->WaitForObject(*w->flag, w->ms) : dlg->WaitTimed(w->ms);
    return LPROCESS_OK;
}

TEST(ConsoleProgress, WaitsEndOnSignalTimeOutOrCancel) {
    Flag flag;
    Waiting w{};
    LProgressProcess<Waiting, WaitOnObject> run("Wait", &w);
    // Waits ms on the flag (none: a timed wait); `then` runs on another thread once it waits.
    auto wait = [&](
                    Flag* on, uint32_t ms, std::function<void()> then = [] {}) {
        w = Waiting{on, ms};
        flag.set = flag.waiting = false;
        std::thread other([&] {
            while (on && !flag.waiting) std::this_thread::yield();
            then();
        });
        run.Run(nullptr);
        other.join();
        return w.result;
    };
    EXPECT_EQ(wait(&flag, 30), LPROCESS_FAILED);  // timed out
    EXPECT_EQ(wait(&flag, LWAIT_INFINITE, [&] { flag.set = true; }), 0);
    EXPECT_EQ(wait(&flag, LWAIT_INFINITE, [&] { run.RequestStop(); }), LPROCESS_STOPPED);
    EXPECT_EQ(wait(nullptr, 15), 0);
}

class Counter : public LThreadQueuedNotify {
  public:
    std::atomic<int> calls{0};
    std::thread::id where;

  protected:
    void Notified() override {
        ++calls;
        where = std::this_thread::get_id();
    }
};

TEST(LThreadQueuedNotify, RunsOnTheCreatingThreadOnly) {
    Counter c;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) c.Notify();
        // A worker's own delivery does not run another thread's notifications.
        EXPECT_EQ(LThreadQueuedNotify::DeliverPending(), 0);
    });
    worker.join();
    EXPECT_EQ(c.calls, 0);
    EXPECT_EQ(LThreadQueuedNotify::DeliverPending(), 3);
    EXPECT_TRUE(c.calls == 3 && c.where == std::this_thread::get_id());

    // Notifications for a destroyed object are dropped.
    {
        Counter gone;
        gone.Notify();
    }
    EXPECT_EQ(LThreadQueuedNotify::DeliverPending(), 0);
}

}  // namespace
