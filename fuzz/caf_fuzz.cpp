// Fuzzes the CAF chunk walk and the sample codings behind it.
#include <utility>

#include "formats/caf.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzBytes(data, size, [](LFile&& f) { return LCafFile::OpenSource(std::move(f)); });
}
