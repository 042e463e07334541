// The smallest and largest sample of a buffer, with the widest vector instructions at hand.
#pragma once

#include <cstddef>
#include <cstdint>

// lo = min(0, smallest), hi = max(0, largest) over count samples (with 256-bit vectors only
// when `wide`).
void LSampleRange(const int32_t* samples, size_t count, int32_t& lo, int32_t& hi, bool wide = true);
