// Fuzzes the Ogg comment reader (Vorbis, Opus, FLAC in Ogg) on a file in memory.
#include "support/chunks.h"
#include "support/file.h"
#include "tags/tagfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    LFile file;
    file.OpenBytes(data, size);
    LFileBytes bytes(file);
    LReadOggTags(bytes, tags);
    return 0;
}
