// Reading whole sources in transfer-sized blocks, for format tests.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sound.h"

namespace testutil {

// Every frame up to GetEndSample, interleaved, converted back to 16 bits.
std::vector<int16_t> ReadAll16(LSoundSourceBase& source);
// Internal samples of n frames from the current position.
std::vector<int32_t> ReadFrames(LSoundSourceBase& source, int32_t n);

}  // namespace testutil
