// Fuzzes the WAV reader and every codec behind its "fmt " record, with chosen reads and seeks.
#include <utility>

#include "formats/wav.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzBytes(data, size, [](LFile&& f) { return LWaveFile::OpenSource(std::move(f)); });
}
