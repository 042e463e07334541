// Fuzzes the tag readers and the WAV tag writer on arbitrary file contents.
#include "fuzz/fuzzfile.h"
#include "tags/tagdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* wav = FuzzFile("tags.wav", data, size);
    const char* mp3 = FuzzFile("tags.mp3", data, size);
    if (!wav || !mp3) return 0;
    LAudioTagData read;
    for (const char* path : {wav, mp3}) read.ReadTags(path);
    // Write back what was read plus values of both slot parities, twice (slot reuse).
    read.Set("TITLE", "Fuzz");
    read.Set("ARTIST", "Odd");
    for (int i = 0; i < 2; ++i) {
        LAudioTagData w = read;
        for (const char* path : {wav, mp3}) w.WriteTags(path);
    }
    LAudioTagData again;
    for (const char* path : {wav, mp3}) again.ReadTags(path);
    return 0;
}
