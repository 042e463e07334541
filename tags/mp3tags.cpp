// MP3 files: an ID3v2 tag at the start, APEv2 and ID3v1 at the end; ID3v2.3 and ID3v1 written.
#include <cstring>

#include "support/file.h"
#include "tags/ape.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/tagfile.h"

namespace {

// Room left after the frames, so that a later edit fits without moving the audio.
constexpr size_t kPadding = 1024;

// The size of the ID3v2 tag at the start of the file, 0 for none.
size_t FrontTagSize(LByteSource& bytes) {
    uint8_t head[LID3V2_HEADER];
    if (!bytes.ReadAt(0, head, sizeof head)) return 0;
    return LId3v2Size(head);
}

// Where the bytes before an ID3v1 tag end.
int64_t EndBeforeId3v1(LByteSource& bytes) {
    const int64_t size = bytes.Size();
    uint8_t tag[3];
    if (size >= int64_t(LID3V1_SIZE) && bytes.ReadAt(size - int64_t(LID3V1_SIZE), tag, 3) &&
        std::memcmp(tag, "TAG", 3) == 0)
        return size - int64_t(LID3V1_SIZE);
    return size;
}

}  // namespace

bool LReadApeTags(LByteSource& bytes, LAudioTagData& tags) {
    const int64_t end = EndBeforeId3v1(bytes);
    uint8_t footer[LAPE_FOOTER];
    if (end < int64_t(LAPE_FOOTER) ||
        !bytes.ReadAt(end - int64_t(LAPE_FOOTER), footer, sizeof footer))
        return false;
    const size_t size = LApeSize(footer);
    std::vector<uint8_t> tag;
    return size && uint64_t(end) >= size && LReadBlock(bytes, end - int64_t(size), size, tag) &&
           LApeParse(tag, tags);
}

bool LReadMp3Tags(LByteSource& bytes, LAudioTagData& tags) {
    bool found = false;
    LAudioTagData v2, ape, v1;
    if (const size_t size = FrontTagSize(bytes)) {
        std::vector<uint8_t> tag;
        found = LReadBlock(bytes, 0, size, tag) && LId3v2Parse(tag, v2);
    }
    found = LReadApeTags(bytes, ape) || found;
    const int64_t size = bytes.Size();
    uint8_t tag[LID3V1_SIZE];
    if (size >= int64_t(LID3V1_SIZE) && bytes.ReadAt(size - int64_t(LID3V1_SIZE), tag, sizeof tag))
        found = LId3v1Parse(tag, v1) || found;
    // The richer tags win; the short fields of ID3v1 only fill what they leave out (its genre
    // 255 is "none" there).
    const bool richer = !v2.Empty() || !ape.Empty();
    LTagMerge(v2, ape);
    if (richer && std::strcmp(v1.Get("GENRE"), "255") == 0) v1.Set("GENRE", "");
    LTagMerge(v2, v1);
    LTagMerge(tags, v2);
    for (const auto& [name, value] : v2.Items()) tags.Set(name, value);
    return found;
}

bool LWriteMp3Tags(LFile& file, const LAudioTagData& tags) {
    LFileBytes bytes(file);
    const int64_t size = bytes.Size();
    if (size < 0) return false;
    // ID3v1 at the end: updated in place or appended.
    uint8_t tag[LID3V1_SIZE] = {0};
    const bool update = size >= int64_t(LID3V1_SIZE) &&
                        bytes.ReadAt(size - int64_t(LID3V1_SIZE), tag, sizeof tag) &&
                        std::memcmp(tag, "TAG", 3) == 0;
    if (!update) std::memset(tag, 0, sizeof tag);
    LId3v1Fill(tag, tags);
    const int64_t at = update ? size - int64_t(LID3V1_SIZE) : size;
    if (!file.Seek(at) || file.Write(tag, int32_t(sizeof tag)) != int32_t(sizeof tag)) return false;

    // ID3v2.3 at the start: in the old tag's room when it fits, else the audio moves.
    const size_t old = FrontTagSize(bytes);
    std::vector<uint8_t> front = LId3v2Build(tags, 0);
    if (old >= front.size() && old - front.size() <= (1u << 20))
        front = LId3v2Build(tags, old - front.size());
    else
        front = LId3v2Build(tags, kPadding);
    return LSpliceFile(file, 0, int64_t(old), front);
}
