// Fuzzes the CAF chunk walk and the sample codings behind it.
#include "formats/caf.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSource("caf", data, size, LCafFile::OpenSource);
}
