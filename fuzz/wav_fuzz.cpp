// Fuzzes the WAV reader: chunk walk, format checks, PCM reads, seeks and streaming sizes.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    struct Scratch {
        std::string path = "/tmp/tamber-wav-fuzz-" + std::to_string(getpid()) + ".wav";
        ~Scratch() { std::remove(path.c_str()); }
    };
    static const Scratch scratch;
    const std::string& path = scratch.path;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    if (src->GetError() != LSRC_OK) return 0;
    static std::vector<int32_t> buf;
    buf.resize(size_t(LSOUND_BLOCK_FRAMES) * src->GetChannels());
    int32_t end = src->GetEndSample();
    (void)src->IsStreaming();
    for (int i = 0; i < 4 && src->GetPosition() < end; ++i) src->Read(buf.data(), 8192);
    src->Seek(-17);
    src->Read(buf.data(), 100);
    src->Seek(end / 2);
    src->Read(buf.data(), 3000);
    src->Seek(int32_t(std::min<int64_t>(int64_t(end) + 5, INT32_MAX)));
    src->Read(buf.data(), 1);
    return 0;
}
