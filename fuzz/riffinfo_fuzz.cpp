// Fuzzes the WAV tag reader (INFO, DISP, id3 chunks; RIFF and RF64) on a file in memory.
#include "support/chunks.h"
#include "support/file.h"
#include "tags/riffinfo.h"
#include "tags/tagfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    LFile file;
    file.OpenBytes(data, size);
    LFileBytes bytes(file);
    LReadWavTags(bytes, tags, true);
    LRiffInfoRead(LBytes(data, size), tags, false);
    return 0;
}
