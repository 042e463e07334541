// Sun/NeXT AU files: the header reader and writer over the generic raw data source and sink.
#pragma once

#include <cstdint>

#include "core/sound.h"
#include "formats/raw.h"
#include "support/file.h"

class LAuFile {
  public:
    // Never empty: the placeholder carries error code 3, 4 or 5 on failure.
    static LSourceRef OpenSource(const char* path);
    // The same over an open file or bytes in memory (LFile::OpenBytes).
    static LSourceRef OpenSource(LFile&& file);
    // 16-bit big-endian AU sink (encoding 3).
    static LSinkRef OpenSink(const char* path, int32_t sampleRate, int channels);
};
