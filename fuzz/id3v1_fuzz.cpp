// Fuzzes the ID3v1 reader and filler on the last 128 bytes of a file in memory.
#include <vector>

#include "support/chunks.h"
#include "support/file.h"
#include "tags/id3v1.h"
#include "tags/tagfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    LFile file;
    file.OpenBytes(data, size);
    LFileBytes bytes(file);
    LReadMp3Tags(bytes, tags);
    if (size >= LID3V1_SIZE) {
        std::vector<uint8_t> tag(data + size - LID3V1_SIZE, data + size);
        LId3v1Fill(tag.data(), tags);
    }
    return 0;
}
