// Something a long operation can wait for (a child process, an event).
#pragma once

#include <cstdint>

class LWaitable {
  public:
    virtual ~LWaitable() = default;
    // The platform handle (a HANDLE on Windows), or 0 where the platform has none.
    virtual intptr_t NativeHandle() const = 0;
    // Waits up to ms milliseconds; true when the object is signalled.
    virtual bool WaitFor(uint32_t ms) = 0;
};
