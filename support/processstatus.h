// The status codes every long operation returns, and the wait without a time limit.
#pragma once

#include <cstdint>

enum : int { LPROCESS_OK = 0, LPROCESS_STOPPED = 1, LPROCESS_FAILED = 2 };

// A wait without a time limit.
constexpr uint32_t LWAIT_INFINITE = 0xFFFFFFFFu;
