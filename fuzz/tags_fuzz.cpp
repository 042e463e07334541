// Fuzzes the tag readers and the WAV tag writer on arbitrary file contents.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/tags.h"

namespace {

std::string Scratch(const char* ext) {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/tags_fuzz.XXXXXX";
        const char* d = mkdtemp(tmpl);
        return std::string(d ? d : "/tmp");
    }();
    return dir + "/input" + ext;
}

void Put(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string wav = Scratch(".wav"), mp3 = Scratch(".mp3");
    Put(wav, data, size);
    Put(mp3, data, size);
    LAudioTagData read;
    read.ReadTags(wav.c_str());
    read.ReadTags(mp3.c_str());
    // Write back what was read plus values of both slot parities, twice (slot reuse).
    read.Set("TITLE", "Fuzz");
    read.Set("ARTIST", "Odd");
    for (int i = 0; i < 2; ++i) {
        LAudioTagData w = read;
        w.WriteTags(wav.c_str());
        w.WriteTags(mp3.c_str());
    }
    LAudioTagData again;
    again.ReadTags(wav.c_str());
    again.ReadTags(mp3.c_str());
    return 0;
}
