// The ISO Layer III compliance streams checked against their reference output.
#pragma once

#include <string>

namespace testutil {

// The folder (with a trailing separator) of the "<name>.bit" streams and "<name>.pcm" references.
std::string IsoDir();
// Every stream decoded whole at full accuracy (PSNR above 96 dB, at most 1 LSB at 16 bits).
void ExpectIsoStreamsAtFullAccuracy();

}  // namespace testutil
