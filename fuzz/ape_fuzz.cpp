// Fuzzes the APEv2 reader on the end of a file in memory.
#include "support/chunks.h"
#include "tags/tagfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    LMemoryBytes bytes(LBytes(data, size));
    LReadApeTags(bytes, tags);
    return 0;
}
