// AIFF files: an "ID3 " chunk (read and written) and the NAME, AUTH, "(c) " and ANNO texts.
#include <cstring>

#include "support/byteorder.h"
#include "support/file.h"
#include "tags/id3v2.h"
#include "tags/tagfile.h"

namespace {

constexpr size_t kId3Padding = 512;

bool IsId3(const char* id) {
    return std::memcmp(id, "ID3 ", 4) == 0 || std::memcmp(id, "id3 ", 4) == 0;
}

struct Text {
    const char* id;
    const char* name;
};
constexpr Text kTexts[] = {
    {"NAME", "TITLE"}, {"AUTH", "ARTIST"}, {"(c) ", "COPYRIGHT"}, {"ANNO", "COMMENT"}};

}  // namespace

bool LReadAiffTags(LByteSource& bytes, LAudioTagData& tags) {
    LChunkWalker walk(bytes);
    if (walk.StartIff() != LChunkStart::Ok) return false;
    LAudioTagData id3;
    LChunk c;
    std::vector<uint8_t> body;
    while (walk.Next(c) && !walk.Malformed()) {
        const bool id3Chunk = IsId3(c.id);
        const Text* text = nullptr;
        for (const Text& t : kTexts)
            if (std::memcmp(c.id, t.id, 4) == 0) text = &t;
        if ((!id3Chunk && !text) || !LReadBlock(bytes, c.body, c.size, body)) continue;
        if (id3Chunk) {
            LId3v2Parse(body, id3);
        } else {
            size_t n = 0;
            while (n < body.size() && body[n]) ++n;
            tags.Set(text->name, LTextCut(LTextFromUnknown(LBytes(body).first(n)), LTAG_MAX_VALUE));
        }
    }
    for (const auto& [name, value] : id3.Items()) tags.Set(name, value);
    for (const LTagPicture& p : id3.Pictures()) tags.AddPicture(p);
    return !tags.Empty();
}

bool LWriteAiffTags(LFile& file, const LAudioTagData& tags) {
    LFileBytes bytes(file);
    LChunkWalker walk(bytes);
    if (walk.StartIff() != LChunkStart::Ok) return false;
    // The last ID3 chunk is reused when the new tag fits; others are renamed out of the way.
    LChunk c, last{{}, 0, -1, -1, 0};
    while (walk.Next(c) && !walk.Malformed()) {
        if (!IsId3(c.id)) continue;
        if (last.body >= 0 && (!file.Seek(last.header) || file.Write("FREE", 4) != 4)) return false;
        last = c;
    }
    std::vector<uint8_t> tag = LId3v2Build(tags, 0);
    if (last.body >= 0 && tag.size() <= last.size) {
        tag = LId3v2Build(tags, size_t(last.size) - tag.size());
        return file.Seek(last.body) &&
               file.Write(tag.data(), int32_t(tag.size())) == int32_t(tag.size());
    }
    if (last.body >= 0 && (!file.Seek(last.header) || file.Write("FREE", 4) != 4)) return false;
    tag = LId3v2Build(tags, kId3Padding);
    int64_t end = file.GetFileSizeBytes();
    if (end < 0) return false;
    std::vector<uint8_t> chunk(8 + (end & 1), 0);
    std::memcpy(chunk.data() + (end & 1), "ID3 ", 4);
    StoreBE32(chunk.data() + (end & 1) + 4, uint32_t(tag.size()));
    chunk.insert(chunk.end(), tag.begin(), tag.end());
    if (tag.size() & 1) chunk.push_back(0);
    return file.Seek(end) &&
           file.Write(chunk.data(), int32_t(chunk.size())) == int32_t(chunk.size()) &&
           LChunkFixFormSize(file);
}
