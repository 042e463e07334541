// The worker thread's progress surface: waits that end early on the stop request.
#include "core/ring_process.h"

#include "support/waitable.h"

int LThreadProgress::WaitTimed(uint32_t ms) {
    return stop_.WaitFor(ms) ? LPROCESS_STOPPED : 0;
}

int LThreadProgress::WaitForObject(LWaitable& object, uint32_t ms) {
    return stop_.WaitSignalDual(object, ms);
}
