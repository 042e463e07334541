// Fuzzes the WAV reader and every codec behind its "fmt " record, with chosen reads and seeks.
#include "formats/wav.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSource("wav", data, size, LWaveFile::OpenSource);
}
