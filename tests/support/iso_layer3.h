// The ISO Layer III compliance streams checked against their reference output.
#pragma once

#include <string>

namespace testutil {

// The folder (with its trailing separator) that holds the "<name>.bit" streams and their
// "<name>.pcm" references (16-bit little-endian, each frame in its own channel count).
std::string IsoDir();
// Decodes every stream with LMP3Source and expects the standard's full accuracy against its
// reference (PSNR above 96 dB, at most 1 LSB at 16 bits, where the reference clips at 16 bits)
// and the whole stream decoded; prints one line per stream.
void ExpectIsoStreamsAtFullAccuracy();

}  // namespace testutil
