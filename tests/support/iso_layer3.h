// The ISO/IEC 11172-4 and 13818-4 Layer III compliance streams: where the build tree holds them
// and how our decode of one compares with its reference output.
#pragma once

#include <cstdint>
#include <string>

namespace testutil {

struct IsoStream {
    const char* name;    // "<name>.bit" with its reference "<name>.pcm"
    int shorterFrames;   // frames the reference lacks at the end
    bool mixedChannels;  // frames of one and two channels; the reference is in each frame's own
};
extern const IsoStream kIsoStreams[18];

struct IsoResult {
    std::string error;   // empty when both could be read
    int64_t frames = 0;  // sample frames decoded
    int64_t refFrames = 0;
    int frameSamples = 0;  // sample frames per MPEG frame
    double maxLsb = 0;     // largest difference at 16 bits, rounded like a 16-bit output
    double psnr = 0;       // dB over the full 16-bit scale, at the decoder's own precision
};

// The folder (with its trailing separator) that CMake unpacked the shared compliance archive into.
std::string IsoDir();
// Decodes one stream and compares it sample by sample with the reference over the reference's
// length. Frames in another channel count than the first are compared converted to it.
IsoResult CheckIsoStream(const IsoStream& s);

}  // namespace testutil
