// Fuzzes the tag writers: what each reader finds in arbitrary file contents is written back into
// them, twice (room reuse), and read again.
#include "fuzz/fuzzfile.h"
#include "tags/tagdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const char* name :
         {"tags.wav", "tags.mp3", "tags.flac", "tags.ogg", "tags.m4a", "tags.aiff"}) {
        const char* path = FuzzFile(name, data, size);
        if (!path) return 0;
        LAudioTagData read;
        read.ReadTags(path);
        // Values of both slot parities.
        read.Set("TITLE", "Fuzz");
        read.Set("ARTIST", "Odd");
        for (int i = 0; i < 2; ++i) {
            LAudioTagData w = read;
            w.WriteTags(path);
        }
        LAudioTagData again;
        again.ReadTags(path);
    }
    return 0;
}
