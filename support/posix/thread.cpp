// Threads, events and queued notifications on POSIX threads.
#include "support/thread.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <vector>

#include "support/processstatus.h"
#include "support/trace.h"

namespace {

// Every event shares one lock and one condition: a set wakes all waiters, each of which
// re-checks the events it waits for. Waits for two events then need nothing extra.
// Both are never destroyed: a thread let go by a timed stop may still set an event while the
// process exits.
std::mutex& g_eventLock = *new std::mutex;
std::condition_variable& g_eventChanged = *new std::condition_variable;

template <class Pred>
bool WaitEvents(uint32_t ms, Pred ready) {
    std::unique_lock<std::mutex> lock(g_eventLock);
    if (ms == LWAIT_INFINITE) {
        g_eventChanged.wait(lock, ready);
        return true;
    }
    return g_eventChanged.wait_for(lock, std::chrono::milliseconds(ms), ready);
}

}  // namespace

LSignalObject::LSignalObject() = default;
LSignalObject::~LSignalObject() = default;

void LSignalObject::Set() {
    {
        std::lock_guard<std::mutex> lock(g_eventLock);
        set_ = true;
    }
    g_eventChanged.notify_all();
}

void LSignalObject::Reset() {
    // Under the lock, so that a waiter that reset and then looks at its condition sees all
    // that happened before the last set.
    std::lock_guard<std::mutex> lock(g_eventLock);
    set_ = false;
}

bool LSignalObject::WaitFor(uint32_t ms) {
    if (set_) return true;
    if (ms == 0) return false;
    return WaitEvents(ms, [this] { return set_.load(); });
}

int LSignalObject::WaitSignalDual(LWaitable& own, uint32_t ms) {
    if (auto* event = dynamic_cast<LSignalObject*>(&own)) {
        WaitEvents(ms, [&] { return event->set_ || set_; });
        return event->set_ ? 0 : set_ ? LPROCESS_STOPPED : LPROCESS_FAILED;
    }
    // Any other object is polled in short slices between looks at this signal.
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
        uint32_t left = ms == LWAIT_INFINITE ? 5 : elapsed >= ms ? 0 : ms - uint32_t(elapsed);
        if (own.WaitFor(left < 5 ? left : 5)) return 0;
        if (set_) return LPROCESS_STOPPED;
        if (left == 0) return LPROCESS_FAILED;
    }
}

struct LThreadEntry {
    struct Start {
        LThread* self;
        LThread::RunningFlag running;
    };
    static void* Run(void* param) {
        auto* start = static_cast<Start*>(param);
        LThread::ThreadFunc(start->self, start->running);
        delete start;
        return nullptr;
    }
};

void LThread::ThreadFunc(LThread* self, const RunningFlag& running) {
    if (!self) {
        LTrace("LThread::ThreadFunc bgp == NULL");
    } else {
        self->ThreadFunction();
    }
    *running = false;
}

namespace {

// Joins within ms; true when the thread ended.
bool JoinTimed(pthread_t t, uint32_t ms) {
    if (pthread_equal(t, pthread_self())) return false;  // a thread cannot wait for itself
    if (ms == LWAIT_INFINITE) return pthread_join(t, nullptr) == 0;
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    return pthread_timedjoin_np(t, nullptr, &until) == 0;
}

}  // namespace

LThread::~LThread() {
    StopThreadTimed(5000);
}

void LThread::Start(int priority) {
    std::lock_guard<std::mutex> hold(start_);
    if (thread_) {
        if (IsRunning()) {
            LTrace("LThread::Start Thread is already running!");
            return;
        }
        pthread_t old = static_cast<pthread_t>(thread_);
        if (!JoinTimed(old, 1000)) pthread_detach(old);
        thread_ = 0;
    }
    stop_.Reset();
    running_ = std::make_shared<std::atomic<bool>>(true);
    auto* start = new LThreadEntry::Start{this, running_};
    pthread_t t;
    if (pthread_create(&t, nullptr, LThreadEntry::Run, start) != 0) {
        LTrace("LThread::Start Unable to CreateThread FAILED");
        delete start;
        *running_ = false;
        return;
    }
    thread_ = static_cast<intptr_t>(t);
    // Priorities are not applied here: raising one needs privileges an ordinary user lacks.
    (void)priority;
}

void LThread::SetPriority(int priority) {
    // Not applied, as in Start.
    (void)priority;
}

void LThread::StopThreadTimed(uint32_t ms) {
    if (!thread_) return;
    stop_.Set();
    pthread_t t = static_cast<pthread_t>(thread_);
    if (!JoinTimed(t, ms)) {
        // A POSIX thread cannot be killed safely (its locks and heap blocks would stay
        // taken), so a thread that ignores its stop signal is let go: detached, its running
        // flag cleared. It still runs on its own until its ThreadFunction returns.
        LTrace("LThread::StopThreadTimed TimeOut ERROR");
        pthread_detach(t);
        *running_ = false;
    }
    thread_ = 0;
}

// Queued notifications: (object, creating thread) entries drained by the creating thread.
namespace {
std::mutex g_notifyLock;
std::vector<LThreadQueuedNotify*> g_live;
std::deque<LThreadQueuedNotify*> g_pending;

uint64_t ThisThread() {
    return static_cast<uint64_t>(pthread_self());
}
}  // namespace

struct LThreadQueuedNotifyAccess {
    static uint64_t Owner(const LThreadQueuedNotify* n) { return n->owner_; }
    static void Call(LThreadQueuedNotify* n) { n->Notified(); }
};

LThreadQueuedNotify::LThreadQueuedNotify() : owner_(ThisThread()) {
    std::lock_guard<std::mutex> lock(g_notifyLock);
    g_live.push_back(this);
}

LThreadQueuedNotify::~LThreadQueuedNotify() {
    std::lock_guard<std::mutex> lock(g_notifyLock);
    g_live.erase(std::remove(g_live.begin(), g_live.end(), this), g_live.end());
    g_pending.erase(std::remove(g_pending.begin(), g_pending.end(), this), g_pending.end());
}

void LThreadQueuedNotify::Notify() {
    std::lock_guard<std::mutex> lock(g_notifyLock);
    if (std::find(g_live.begin(), g_live.end(), this) != g_live.end()) g_pending.push_back(this);
}

int LThreadQueuedNotify::DeliverPending() {
    int count = 0;
    uint64_t me = ThisThread();
    for (;;) {
        LThreadQueuedNotify* next = nullptr;
        {
            std::lock_guard<std::mutex> lock(g_notifyLock);
            auto it = std::find_if(g_pending.begin(), g_pending.end(), [me](auto* n) {
                return LThreadQueuedNotifyAccess::Owner(n) == me;
            });
            if (it == g_pending.end()) break;
            next = *it;
            g_pending.erase(it);
        }
        // Objects are destroyed on the thread that created them, which is this one: the
        // object cannot go away between taking the entry and the call.
        LThreadQueuedNotifyAccess::Call(next);
        ++count;
    }
    return count;
}
