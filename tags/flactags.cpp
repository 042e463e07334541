// FLAC files: VORBIS_COMMENT and PICTURE metadata blocks, read and written before the frames.
#include <cstring>

#include "support/byteorder.h"
#include "support/file.h"
#include "tags/id3v2.h"
#include "tags/tagfile.h"
#include "tags/vorbiscomment.h"

namespace {

constexpr uint8_t kStreamInfo = 0, kPadding = 1, kComment = 4, kPicture = 6;
constexpr uint32_t kMaxBlock = (1u << 24) - 1;
constexpr size_t kNewPadding = 4096;
constexpr int kMaxBlocks = 1024;

struct Block {
    uint8_t type;
    int64_t body;
    uint32_t size;
};

// The metadata blocks after "fLaC" (after an ID3v2 tag some programs put before it); false
// when the stream does not begin so. end is where the frames begin.
bool Blocks(LByteSource& bytes, int64_t& marker, std::vector<Block>& blocks, int64_t& end) {
    marker = 0;
    uint8_t head[LID3V2_HEADER];
    if (bytes.ReadAt(0, head, sizeof head)) marker = int64_t(LId3v2Size(head));
    uint8_t magic[4];
    if (!bytes.ReadAt(marker, magic, 4) || std::memcmp(magic, "fLaC", 4) != 0) return false;
    int64_t pos = marker + 4;
    for (int i = 0; i < kMaxBlocks; ++i) {
        uint8_t h[4];
        if (!bytes.ReadAt(pos, h, 4)) return false;
        const uint32_t size = uint32_t(h[1]) << 16 | uint32_t(h[2]) << 8 | h[3];
        blocks.push_back({uint8_t(h[0] & 0x7F), pos + 4, size});
        pos += 4 + int64_t(size);
        if (h[0] & 0x80) {
            end = pos;
            return pos <= bytes.Size() && !blocks.empty() && blocks[0].type == kStreamInfo;
        }
    }
    return false;
}

void PutBlock(std::vector<uint8_t>& out, uint8_t type, LBytes body) {
    const uint32_t size = uint32_t(body.size());
    out.insert(out.end(), {type, uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)});
    out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

bool LReadFlacTags(LByteSource& bytes, LAudioTagData& tags) {
    int64_t marker, end;
    std::vector<Block> blocks;
    if (!Blocks(bytes, marker, blocks, end)) return false;
    bool found = false;
    std::vector<uint8_t> body;
    for (const Block& b : blocks) {
        if ((b.type != kComment && b.type != kPicture) || !LReadBlock(bytes, b.body, b.size, body))
            continue;
        if (b.type == kComment) {
            found = LVorbisCommentParse(body, tags) || found;
        } else if (LTagPicture p; LFlacPictureParse(body, p)) {
            found = tags.AddPicture(std::move(p)) || found;
        }
    }
    return found;
}

bool LWriteFlacTags(LFile& file, const LAudioTagData& tags) {
    LFileBytes bytes(file);
    int64_t marker, end;
    std::vector<Block> blocks;
    if (!Blocks(bytes, marker, blocks, end)) return false;
    std::string vendor = "Tamber";
    std::vector<uint8_t> meta, body;
    for (const Block& b : blocks) {
        if (b.type == kComment) {
            LAudioTagData ignored;
            if (LReadBlock(bytes, b.body, b.size, body))
                LVorbisCommentParse(body, ignored, &vendor);
        }
        if (b.type == kComment || b.type == kPicture || b.type == kPadding) continue;
        if (!LReadBlock(bytes, b.body, b.size, body)) return false;
        PutBlock(meta, b.type, body);
    }
    std::vector<uint8_t> comment = LVorbisCommentBuild(tags, vendor, false);
    if (comment.size() > kMaxBlock) return false;
    PutBlock(meta, kComment, comment);
    for (const LTagPicture& p : tags.Pictures()) {
        const std::vector<uint8_t> picture = LFlacPictureBuild(p);
        if (picture.size() <= kMaxBlock) PutBlock(meta, kPicture, picture);  // else left out
    }
    // The old room when the new blocks fit (padding makes up the rest), else the frames move.
    const int64_t room = end - (marker + 4);
    size_t padding = kNewPadding;
    if (int64_t(meta.size()) + 4 <= room && room - int64_t(meta.size()) - 4 <= int64_t(kMaxBlock))
        padding = size_t(room - int64_t(meta.size()) - 4);
    PutBlock(meta, kPadding, std::vector<uint8_t>(padding, 0));
    meta[meta.size() - padding - 4] |= 0x80;  // the last block
    return LSpliceFile(file, marker + 4, room, meta);
}
