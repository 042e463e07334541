// Fuzzes the ID3v2 reader (versions 2.2 to 2.4) on a tag in memory, and builds it again.
#include "tags/id3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    if (LId3v2Parse(LBytes(data, size), tags)) {
        const std::vector<uint8_t> again = LId3v2Build(tags, 16);
        LAudioTagData back;
        LId3v2Parse(again, back);
    }
    return 0;
}
