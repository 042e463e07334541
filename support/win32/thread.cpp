// Threads, events and queued notifications on Win32.
#include "support/thread.h"

#include <windows.h>

#include "support/processstatus.h"
#include "support/trace.h"

namespace {
HANDLE H(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}
}  // namespace

LSignalObject::LSignalObject() {
    hSignalObject = reinterpret_cast<intptr_t>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

LSignalObject::~LSignalObject() {
    if (hSignalObject) CloseHandle(H(hSignalObject));
}

void LSignalObject::Set() {
    if (hSignalObject) SetEvent(H(hSignalObject));
}

void LSignalObject::Reset() {
    if (hSignalObject) ResetEvent(H(hSignalObject));
}

bool LSignalObject::WaitFor(uint32_t ms) {
    return hSignalObject && WaitForSingleObject(H(hSignalObject), ms) == WAIT_OBJECT_0;
}

int LSignalObject::WaitSignalDual(LWaitable& own, uint32_t ms) {
    if (!hSignalObject) {
        LTrace("LSignalObject::WaitSignalDual hSignalObject is NULL");
        return LPROCESS_FAILED;
    }
    HANDLE pair[2] = {H(own.NativeHandle()), H(hSignalObject)};
    if (pair[0]) {
        DWORD r = WaitForMultipleObjects(2, pair, FALSE, ms);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) return 0;
        if (r == WAIT_OBJECT_0 + 1 || r == WAIT_ABANDONED_0 + 1) return LPROCESS_STOPPED;
        return LPROCESS_FAILED;
    }
    // An object without a handle is polled in short slices between looks at this signal.
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = ms == LWAIT_INFINITE ? 5 : elapsed >= ms ? 0 : ms - elapsed;
        if (own.WaitFor(left < 5 ? left : 5)) return 0;
        if (WaitForSingleObject(H(hSignalObject), 0) == WAIT_OBJECT_0) return LPROCESS_STOPPED;
        if (left == 0) return LPROCESS_FAILED;
    }
}

struct LThreadEntry {
    struct Start {
        LThread* self;
        LThread::RunningFlag running;
    };
    static DWORD WINAPI Run(LPVOID param) {
        auto* start = static_cast<Start*>(param);
        LThread::ThreadFunc(start->self, start->running);
        delete start;
        return 0;
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
        WaitForSingleObject(H(thread_), 1000);
        CloseHandle(H(thread_));
        thread_ = 0;
    }
    stop_.Reset();
    running_ = std::make_shared<std::atomic<bool>>(true);
    auto* start = new LThreadEntry::Start{this, running_};
    DWORD id;
    HANDLE h = CreateThread(nullptr, 0, LThreadEntry::Run, start, 0, &id);
    if (!h) {
        LTrace("LThread::Start Unable to CreateThread FAILED");
        delete start;
        *running_ = false;
        return;
    }
    thread_ = reinterpret_cast<intptr_t>(h);
    SetThreadPriority(h, priority);
}

void LThread::SetPriority(int priority) {
    std::lock_guard<std::mutex> hold(start_);  // the handle is complete once Start is done
    if (thread_) SetThreadPriority(H(thread_), priority);
}

void LThread::StopThreadTimed(uint32_t ms) {
    if (!thread_) return;
    stop_.Set();
    // A low-priority worker gets the caller's priority so that it can finish promptly.
    SetThreadPriority(H(thread_), GetThreadPriority(GetCurrentThread()));
    if (WaitForSingleObject(H(thread_), ms) != WAIT_OBJECT_0) {
        // Terminating a thread leaves its locks (the heap's among them) taken and what it
        // holds never freed, so a thread that ignores its stop signal is let go instead: its
        // handle closed, its running flag cleared; it runs on until its ThreadFunction returns.
        LTrace("LThread::StopThreadTimed TimeOut ERROR");
        *running_ = false;
    }
    CloseHandle(H(thread_));
    thread_ = 0;
}

struct LThreadQueuedNotifyAccess {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_USER) {
            auto* self =
                reinterpret_cast<LThreadQueuedNotify*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
            if (self) self->Notified();
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
};

LThreadQueuedNotify::LThreadQueuedNotify() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = LThreadQueuedNotifyAccess::Proc;
    wc.cbWndExtra = 4;
    wc.hInstance = instance;
    wc.lpszClassName = "LTQN";
    RegisterClassA(&wc);  // fails harmlessly when already registered
    HWND hwnd = CreateWindowExA(0, "LTQN", "", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (hwnd) SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = reinterpret_cast<intptr_t>(hwnd);
}

LThreadQueuedNotify::~LThreadQueuedNotify() {
    if (window_) DestroyWindow(reinterpret_cast<HWND>(window_));
}

void LThreadQueuedNotify::Notify() {
    if (window_) PostMessageA(reinterpret_cast<HWND>(window_), WM_USER, 0, 0);
}

int LThreadQueuedNotify::DeliverPending() {
    return 0;
}
