// Worker threads, their stop signal and timed stop; events; notifications back to the owner.
#include "support/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "support/progress.h"
#include "support/trace.h"

namespace {

using namespace std::chrono_literals;

// Counts its runs; each run waits for its release event or the stop signal.
class Worker : public LThread {
  public:
    ~Worker() override { StopThreadTimed(5000); }
    std::atomic<int> runs{0};
    std::atomic<int> result{-1};
    LSignalObject release;

  protected:
    void ThreadFunction() override {
        ++runs;
        result = StopSignal().WaitSignalDual(release, LWAIT_INFINITE);
    }
};

bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(1ms);
    return done();
}

TEST(LThread, StartTwiceRunsOnceAndRestartsAfterTheEnd) {
    Worker w;
    w.StopThreadTimed(100);  // never started: nothing happens
    EXPECT_FALSE(w.HasThread());
    w.Start();
    LClearTrace();
    w.Start(LTHREAD_PRIORITY_HIGHEST);
    EXPECT_EQ(LLastTrace(), "LThread::Start Thread is already running!");
    ASSERT_TRUE(WaitUntil([&] { return w.runs == 1; }));
    EXPECT_TRUE(w.IsRunning());

    w.release.Set();  // the run ends by itself
    ASSERT_TRUE(WaitUntil([&] { return !w.IsRunning(); }));
    EXPECT_EQ(w.result, 0);
    EXPECT_TRUE(w.HasThread());  // finished, not yet joined
    w.release.Reset();
    w.Start();
    ASSERT_TRUE(WaitUntil([&] { return w.runs == 2; }));
    EXPECT_FALSE(w.StopRequested());  // a new start clears the previous stop

    w.StopThreadTimed(5000);  // the stop signal ends the wait
    EXPECT_EQ(w.result, LPROCESS_STOPPED);
    EXPECT_FALSE(w.IsRunning());
    EXPECT_FALSE(w.HasThread());
    EXPECT_TRUE(w.StopRequested());  // manual reset: stays set until the next start
}

// Ignores its stop signal until told otherwise.
class Stubborn : public LThread {
  public:
    std::atomic<bool> quit{false}, done{false};

  protected:
    void ThreadFunction() override {
        while (!quit) std::this_thread::sleep_for(1ms);
        done = true;
    }
};

TEST(LThread, TimedStopOfAStubbornThreadLetsGo) {
    auto* s = new Stubborn;
    s->Start();
    ASSERT_TRUE(WaitUntil([&] { return s->IsRunning(); }));
    LClearTrace();
    s->StopThreadTimed(30);
    EXPECT_EQ(LLastTrace(), "LThread::StopThreadTimed TimeOut ERROR");
    EXPECT_FALSE(s->IsRunning());
    EXPECT_FALSE(s->HasThread());
    // The detached thread still owns the object until it returns.
    s->quit = true;
    ASSERT_TRUE(WaitUntil([&] { return s->done.load(); }));
    std::this_thread::sleep_for(20ms);
    delete s;
}

TEST(LSignalObject, DualWaitTellsWhichFired) {
    LSignalObject own, stop;
    EXPECT_EQ(stop.WaitSignalDual(own, 20), LPROCESS_FAILED);
    stop.Set();
    EXPECT_EQ(stop.WaitSignalDual(own, 0), LPROCESS_STOPPED);
    own.Set();
    EXPECT_EQ(stop.WaitSignalDual(own, 0), 0);  // both: own wins
    own.Reset();
    stop.Reset();
    EXPECT_FALSE(stop.IsSet());
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        own.Set();
    });
    EXPECT_EQ(stop.WaitSignalDual(own, LWAIT_INFINITE), 0);
    setter.join();

    // Another kind of waitable is waited for too.
    struct Flag : LWaitable {
        std::atomic<bool> set{false};
        intptr_t NativeHandle() const override { return 0; }
        bool WaitFor(uint32_t ms) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return set;
        }
    } flag;
    EXPECT_EQ(stop.WaitSignalDual(flag, 15), LPROCESS_FAILED);
    flag.set = true;
    EXPECT_EQ(stop.WaitSignalDual(flag, 1000), 0);
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

struct Pumped {
    Counter* counter;
};
int Process(LProgressDialog* dlg, Pumped* p) {
    std::thread worker([p] { p->counter->Notify(); });
    worker.join();
    dlg->PumpMessages();
    return p->counter->calls == 4 ? LPROCESS_OK : LPROCESS_FAILED;
}

TEST(LThreadQueuedNotify, RunsOnTheCreatingThreadWhenItPumps) {
    Counter c;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) c.Notify();
        // A worker's own delivery does not run another thread's notifications.
        EXPECT_EQ(LThreadQueuedNotify::DeliverPending(), 0);
    });
    worker.join();
    EXPECT_EQ(c.calls, 0);
    EXPECT_EQ(LThreadQueuedNotify::DeliverPending(), 3);
    EXPECT_EQ(c.calls, 3);
    EXPECT_EQ(c.where, std::this_thread::get_id());

    // The progress surface's pump delivers them too.
    Pumped p{&c};
    LProgressProcess<Pumped> run("Pump", &p);
    run.Run(nullptr);
    EXPECT_EQ(run.status, LPROCESS_OK);

    // Notifications for a destroyed object are dropped.
    {
        Counter gone;
        gone.Notify();
    }
    EXPECT_EQ(LThreadQueuedNotify::DeliverPending(), 0);
}

}  // namespace
