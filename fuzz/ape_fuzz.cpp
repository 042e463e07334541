// Fuzzes the APEv2 reader on the end of a file in memory.
#include "support/chunks.h"
#include "support/file.h"
#include "tags/tagfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    LFile file;
    file.OpenBytes(data, size);
    LFileBytes bytes(file);
    LReadApeTags(bytes, tags);
    return 0;
}
