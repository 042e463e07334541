// Wave format records for the codec tests and whole-file decode/encode through the WAV layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/acm.h"
#include "tests/support/testutil.h"

namespace testutil {

// The customary layouts: 256 bytes per channel per block up to 11025 Hz, doubling above.
LWaveFileFormat ImaRecord(int32_t rate, int channels);
LWaveFileFormat MsAdpcmRecord(int32_t rate, int channels);
LWaveFileFormat GsmRecord(int32_t rate);

// A WAV file holding the given "fmt " body and data bytes.
inline bool WriteWavRaw(const std::string& path, const Bytes& fmt, const Bytes& data) {
    return WriteFileBytes(path, WavBytes(fmt, data));
}

// A whole file decoded by the WAV reader in whole blocks, as the transfer reads; 16-bit samples.
std::vector<int16_t> DecodeWithReader(const std::string& path, uint8_t* error = nullptr,
                                      int* channels = nullptr);

// Writes interleaved 16-bit samples through the WAV sink for a format; false when unusable.
bool EncodeWithWriter(const std::string& path, const LWaveFileFormat& format,
                      const std::vector<int16_t>& samples);

}  // namespace testutil
