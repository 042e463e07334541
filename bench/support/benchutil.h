// Helpers shared by the benchmark programs: the music-like input file they all convert.
#pragma once

#include <string>

namespace benchutil {

// Writes (once; an existing file is kept) a 44.1 kHz stereo 16-bit WAV of the given length:
// two tones and some noise, the same content in every benchmark.
void MakeMusicWav(const std::string& path, int minutes);

}  // namespace benchutil
