// Fuzzes the FLAC metadata reader (comments and pictures) on a file in memory.
#include "support/chunks.h"
#include "tags/tagfile.h"
#include "tags/vorbiscomment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LAudioTagData tags;
    LMemoryBytes bytes(LBytes(data, size));
    if (LReadFlacTags(bytes, tags)) LVorbisCommentBuild(tags, "x", true);
    return 0;
}
