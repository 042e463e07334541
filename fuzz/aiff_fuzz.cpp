// Fuzzes the AIFF header parser (chunk walk, COMM, 80-bit rates) and the data reads behind it.
#include <utility>

#include "formats/aiff.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 10) (void)AIFFRateFromExtended(data);
    return FuzzBytes(data, size, [](LFile&& f) { return LAifFile::OpenSource(std::move(f)); });
}
