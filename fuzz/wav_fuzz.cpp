// Fuzzes the WAV reader and every codec behind its "fmt " record, with chosen reads and seeks.
#include "formats/wav.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = FuzzFile("wav", data, size);
    if (!path) return 0;
    LSourceRef src = LWaveFile::OpenSource(path);
    if (src->GetError() != LSRC_OK) return 0;
    (void)src->IsStreaming();
    FuzzExercise(*src, data, size);
    return 0;
}
