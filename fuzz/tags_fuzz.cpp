// Fuzzes the tag readers and the WAV tag writer on arbitrary file contents.
#include "fuzz/fuzzfile.h"
#include "store/tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* wav = FuzzFile("tags.wav", data, size);
    const char* mp3 = FuzzFile("tags.mp3", data, size);
    if (!wav || !mp3) return 0;
    LAudioTagData read;
    read.ReadTags(wav);
    read.ReadTags(mp3);
    // Write back what was read plus values of both slot parities, twice (slot reuse).
    read.Set("TITLE", "Fuzz");
    read.Set("ARTIST", "Odd");
    for (int i = 0; i < 2; ++i) {
        LAudioTagData w = read;
        w.WriteTags(wav);
        w.WriteTags(mp3);
    }
    LAudioTagData again;
    again.ReadTags(wav);
    again.ReadTags(mp3);
    return 0;
}
