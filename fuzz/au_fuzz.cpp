// Fuzzes the AU header parser and the G.711 and PCM reads behind it.
#include "formats/au.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSource("au", data, size, LAuFile::OpenSource);
}
