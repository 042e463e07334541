// Fuzzes the AIFF tag reader (ID3, NAME, AUTH, ANNO chunks) on a file in memory.
#include "support/chunks.h"
#include "support/file.h"
#include "tags/tagfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    LFile file;
    file.OpenBytes(data, size);
    LFileBytes bytes(file);
    LReadAiffTags(bytes, tags);
    return 0;
}
