// AIFF files: the header reader and writer over the generic raw data source and sink.
#pragma once

#include <cstdint>

#include "core/sound.h"
#include "formats/raw.h"
#include "support/file.h"

// 80-bit IEEE 754 extended sample rates (big-endian, as in the COMM chunk).
int32_t AIFFRateFromExtended(const uint8_t* ext);
void AIFFRateToExtended(int32_t rate, uint8_t* ext);

// Moves through chunk headers from the file's position until the wanted ID; on success the
// file stands at the chunk's data and size holds the chunk size.
bool AIFFFindChunk(LFile& file, const char* id, int32_t& size);
// Reads the header of an open AIFF file and builds its source (error codes 3 and 5 on the
// placeholder).
LSourceRef AIFFOpenHeader(LFile& file);
// The AIFF header writer: 54 bytes, 16-bit big-endian samples.
int32_t WriteHeaderAIFF(LRawFileDataSoundSinkBase& sink, bool final);

class LAifFile {
  public:
    // Never empty: the placeholder carries error code 3, 4 or 5 on failure.
    static LSourceRef OpenSource(const char* path);
    // The same over an open file or bytes in memory (LFile::OpenBytes).
    static LSourceRef OpenSource(LFile&& file);
    // 16-bit big-endian AIFF sink.
    static LSinkRef OpenSink(const char* path, int32_t sampleRate, int channels);
    // True when the file's form type is "AIFC" (compressed AIFF).
    static bool IsCompressedForm(const char* path);
};
