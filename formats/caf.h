// Core Audio Format (CAF) files: the reader of integer, float and G.711 sample data.
#pragma once

#include "core/sound.h"
#include "support/file.h"

// Reads the header of an open CAF file from its first byte, walking the chunks to the audio
// data, and builds its source: error code 3 for a damaged file, 5 for a sample format not read
// here (another codec: the platform decoder's).
LSourceRef CAFOpenHeader(LFile& file);

class LCafFile {
  public:
    // Never empty: the placeholder carries error code 3, 4 or 5 on failure.
    static LSourceRef OpenSource(const char* path);
    // The same over an open file or bytes in memory (LFile::OpenBytes).
    static LSourceRef OpenSource(LFile&& file);
};
