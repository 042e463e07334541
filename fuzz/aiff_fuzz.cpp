// Fuzzes the AIFF header parser (chunk walk, COMM, 80-bit rates) and the data reads behind it.
#include "formats/aiff.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 10) (void)AIFFRateFromExtended(data);
    return FuzzSource("aiff", data, size, LAifFile::OpenSource);
}
