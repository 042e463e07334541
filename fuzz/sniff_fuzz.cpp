// Fuzzes the content sniffer: any bytes, any length, never a read past them.
#include <cstdlib>
#include <cstring>

#include "formats/sniff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly size bytes, so that the sanitizer sees any read beyond them.
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(copy, data, size);
    const LContentSniff s = LSniffContent(copy, size);
    if (s.kind == LContentKind::Unknown && s.evidence != LContentEvidence::None) __builtin_trap();
    std::free(copy);
    return 0;
}
