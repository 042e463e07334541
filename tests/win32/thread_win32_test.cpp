// Worker threads, stop signals, timed stops and the "LTQN" notifier on Windows (Wine).
#include <atomic>

#include "support/progress.h"
#include "support/thread.h"
#include "support/trace.h"
#include "tests/win32/support/wintest.h"

namespace {

class Worker : public LThread {
  public:
    ~Worker() override { StopThreadTimed(5000); }
    std::atomic<int> runs{0}, result{-1}, priority{99};
    LSignalObject release;

  protected:
    void ThreadFunction() override {
        ++runs;
        Sleep(20);
        priority = GetThreadPriority(GetCurrentThread());
        result = StopSignal().WaitSignalDual(release, LWAIT_INFINITE);
    }
};

TEST(Win32Thread, StartTwiceRunsOnceStopEndsTheWait) {
    Worker w;
    w.StopThreadTimed(100);
    EXPECT_FALSE(w.HasThread());
    w.Start(LTHREAD_PRIORITY_BELOW_NORMAL);
    w.Start();
    ASSERT_TRUE(wintest::WaitFor([&] { return w.priority != 99; }));
    EXPECT_EQ(w.runs, 1);
    EXPECT_EQ(w.priority, THREAD_PRIORITY_BELOW_NORMAL);
    // The stop signal is a real event handle.
    EXPECT_NE(w.StopSignal().NativeHandle(), 0);
    w.StopThreadTimed(5000);
    EXPECT_EQ(w.result, LPROCESS_STOPPED);
    EXPECT_FALSE(w.IsRunning());

    w.Start();
    ASSERT_TRUE(wintest::WaitFor([&] { return w.runs == 2; }));
    w.release.Set();
    ASSERT_TRUE(wintest::WaitFor([&] { return !w.IsRunning(); }));
    EXPECT_EQ(w.result, 0);
}

class Counter : public LThreadQueuedNotify {
  public:
    int calls = 0;
    DWORD where = 0;

  protected:
    void Notified() override {
        ++calls;
        where = GetCurrentThreadId();
    }
};

DWORD WINAPI NotifyThrice(LPVOID p) {
    for (int i = 0; i < 3; ++i) static_cast<Counter*>(p)->Notify();
    return 0;
}

TEST(Win32Thread, NotifierWindowDeliversOnTheCreatingThread) {
    Counter c;
    HWND hidden = FindWindowA("LTQN", "");
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(IsWindowVisible(hidden));
    HANDLE t = CreateThread(nullptr, 0, NotifyThrice, &c, 0, nullptr);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    EXPECT_EQ(c.calls, 0);  // posted, not yet pumped
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(c.calls, 3);
    EXPECT_EQ(c.where, GetCurrentThreadId());
}

}  // namespace
