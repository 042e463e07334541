// Sun/NeXT AU files: the header reader and writer over the generic raw data source and sink.
#pragma once

#include <cstdint>

#include "core/sound.h"
#include "formats/raw.h"

class LAuFile {
  public:
    // Never empty: the placeholder carries error code 3, 4 or 5 on failure.
    static LSourceRef OpenSource(const char* path);
    // 16-bit big-endian AU sink (encoding 3).
    static LSinkRef OpenSink(const char* path, int32_t sampleRate, int channels);
};
