// Fuzzes the AU header parser and the G.711 and PCM reads behind it.
#include "formats/au.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = FuzzFile("au", data, size);
    if (!path) return 0;
    LSourceRef src = LAuFile::OpenSource(path);
    if (src->GetError() == LSRC_OK) FuzzExercise(*src, data, size);
    return 0;
}
