// Fuzzes the AU header parser and the G.711 and PCM reads behind it.
#include <utility>

#include "formats/au.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzBytes(data, size, [](LFile&& f) { return LAuFile::OpenSource(std::move(f)); });
}
