// The worker thread's progress surface: waits that end early on the stop request.
#include "core/ring_process.h"

#include <chrono>
#include <thread>

#include "support/waitable.h"

int LThreadProgress::WaitTimed(uint32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (stop_) return LPROCESS_STOPPED;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return stop_ ? LPROCESS_STOPPED : 0;
}

int LThreadProgress::WaitForObject(LWaitable& object, uint32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (stop_) return LPROCESS_STOPPED;
        if (object.WaitFor(10)) return 0;
        if (std::chrono::steady_clock::now() >= end) return LPROCESS_FAILED;
    }
}
