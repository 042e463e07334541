// Fuzzes the FLAC metadata reader (comments and pictures) on a file in memory.
#include "support/chunks.h"
#include "support/file.h"
#include "tags/tagfile.h"
#include "tags/vorbiscomment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    LFile file;
    file.OpenBytes(data, size);
    LFileBytes bytes(file);
    if (LReadFlacTags(bytes, tags)) LVorbisCommentBuild(tags, "x", true);
    return 0;
}
