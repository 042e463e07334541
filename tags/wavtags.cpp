// WAV files: "LIST"/"INFO", "DISP" and "id3 " chunks, read and updated in place where they fit.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "support/byteorder.h"
#include "support/chunks.h"
#include "support/file.h"
#include "tags/id3v2.h"
#include "tags/riffinfo.h"
#include "tags/tagfile.h"

namespace {

constexpr const char* kKnownIds[] = {"IPRD", "ITRK", "INAM", "ICRD", "IGNR", "ICMT", "IART"};
constexpr char kBlankId[4] = {' ', ' ', ' ', ' '};
// Room left in a new "id3 " chunk, so that the next edit fits in place.
constexpr size_t kId3Padding = 512;

bool WriteAt(LFile& f, int64_t pos, const void* buf, size_t n) {
    return f.Seek(pos) && f.Write(buf, int32_t(n)) == int32_t(n);
}

bool IsKnownId(const uint8_t* id) {
    for (const char* k : kKnownIds)
        if (std::memcmp(id, k, 4) == 0) return true;
    return false;
}
bool IsId3(const char* id) {
    return std::memcmp(id, "id3 ", 4) == 0 || std::memcmp(id, "ID3 ", 4) == 0;
}

// The text size of a "DISP" chunk this program writes for a title of len characters.
uint32_t DispTextSize(size_t len) {
    return uint32_t((len & ~size_t(1)) + 2);
}

// What the walk hands to its caller.
class WavVisitor {
  public:
    virtual ~WavVisitor() = default;
    // An "INFO" list: its sub-chunks (after the list type) begin at pos.
    virtual void InfoList(int64_t pos, LBytes list) = 0;
    // A "DISP" chunk of a non-zero type: its text begins at pos.
    virtual void DispText(int64_t pos, LBytes text) = 0;
    // An "id3 " chunk: the tag begins at pos.
    virtual void Id3(const LChunk& chunk, LBytes tag) = 0;
};

// Walks the chunks of the form (RIFF, RF64 or BW64); stops at the first short read or
// malformed size.
void WalkWav(LByteSource& bytes, WavVisitor& v) {
    LChunkWalker walk(bytes);
    if (walk.Start() != LChunkStart::Ok) return;
    const int64_t fileSize = bytes.Size();
    LChunk c;
    std::vector<uint8_t> body;
    while (walk.Next(c) && !walk.Malformed()) {
        const uint64_t inFile = uint64_t(std::max<int64_t>(0, fileSize - c.body));
        const uint64_t size = std::min(c.size, inFile);
        if (std::memcmp(c.id, "LIST", 4) == 0 && size >= 4) {
            if (!LReadBlock(bytes, c.body, size, body)) return;
            if (strncasecmp(reinterpret_cast<const char*>(body.data()), "INFO", 4) == 0)
                v.InfoList(c.body + 4, LBytes(body).subspan(4));
        } else if (std::memcmp(c.id, "DISP", 4) == 0) {
            if (size < 4) return;  // too short, or cut off by the end of the file
            if (!LReadBlock(bytes, c.body, size, body)) return;
            // Only type 1 carries text; other types (pictures) are not titles.
            if (LoadLE32(body.data()) == 1 && size > 4)
                v.DispText(c.body + 4, LBytes(body).subspan(4));
        } else if (IsId3(c.id) && size == c.size) {
            if (LReadBlock(bytes, c.body, size, body)) v.Id3(c, body);
        }
    }
}

class TagReader : public WavVisitor {
  public:
    TagReader(LAudioTagData& tags, bool replace) : tags_(tags), replace_(replace) {}
    void InfoList(int64_t, LBytes list) override { LRiffInfoRead(list, tags_, replace_); }
    // A title that changed length leaves its old "DISP" behind: the last one is the title.
    void DispText(int64_t, LBytes text) override { disp_ = LRiffInfoText(text); }
    void Id3(const LChunk&, LBytes tag) override { LId3v2Parse(tag, id3_); }
    void Finish() {
        if (!disp_.empty() && (replace_ || !*tags_.Get("TITLE"))) tags_.Set("TITLE", disp_);
        // The ID3 tag holds what INFO cannot: its text wins.
        for (const auto& [name, value] : id3_.Items())
            if (replace_ || !*tags_.Get(name.c_str())) tags_.Set(name, value);
        if (replace_ || tags_.Pictures().empty())
            for (const LTagPicture& p : id3_.Pictures()) tags_.AddPicture(p);
    }

  private:
    LAudioTagData& tags_;
    bool replace_;
    std::string disp_;
    LAudioTagData id3_;
};

// Whether INFO and DISP hold all of the tags: plain text of fields INFO has ids for.
bool InfoHoldsAll(const LAudioTagData& tags) {
    if (!tags.Pictures().empty()) return false;
    for (const auto& [name, value] : tags.Items())
        if (!value.empty() && (!LRiffInfoId(name) || !LTextIsAscii(value))) return false;
    return true;
}

class TagWriter : public WavVisitor {
  public:
    TagWriter(LFile& f, const LAudioTagData& tags)
        : f_(f), tags_(tags), items_(tags.Items()), written_(items_.size(), false) {
        // Nothing to write for empty values or names without a place in the file.
        for (size_t i = 0; i < items_.size(); ++i) {
            const auto& [name, value] = items_[i];
            if (value.empty() || !LRiffInfoId(name)) written_[i] = true;
        }
        title_ = tags.Get("TITLE", "");
    }

    void InfoList(int64_t pos, LBytes list) override {
        std::vector<std::pair<int64_t, uint32_t>> blanks;
        LRiffInfoForEach(list, [&](size_t at, const uint8_t* id, LBytes value) {
            const int64_t sp = pos + int64_t(at);
            const bool known = IsKnownId(id);
            if (known) WriteAt(f_, sp, kBlankId, 4);
            if (known || std::memcmp(id, kBlankId, 4) == 0)
                blanks.emplace_back(sp, uint32_t(value.size()));
        });
        for (size_t i = 0; i < items_.size(); ++i) {
            if (written_[i]) continue;
            const auto& [name, value] = items_[i];
            const uint32_t want = uint32_t(value.size() + 1);
            for (auto& slot : blanks) {
                if (slot.first < 0 || slot.second != want) continue;
                uint8_t head[8];
                std::memcpy(head, LRiffInfoId(name), 4);
                StoreLE32(head + 4, want);
                if (WriteAt(f_, slot.first, head, 8) &&
                    WriteAt(f_, slot.first + 8, value.c_str(), want))
                    written_[i] = true;
                slot.first = -1;  // used
                break;
            }
        }
    }

    // Only the last "DISP" counts (the reader's rule): the title goes there when it fits.
    void DispText(int64_t pos, LBytes text) override { lastDisp_ = {pos, uint32_t(text.size())}; }

    // Old ID3 chunks: the last one is reused when the new tag fits, the others become "JUNK".
    void Id3(const LChunk& chunk, LBytes) override {
        if (id3Chunk_.body >= 0) WriteAt(f_, id3Chunk_.header, "JUNK", 4);
        id3Chunk_ = chunk;
    }

    // Appends what was not written in place; false on a write failure.
    bool Append() {
        if (const auto [pos, size] = lastDisp_;
            !title_.empty() && (size == title_.size() + 1 || size == DispTextSize(title_.size()))) {
            std::vector<uint8_t> text(size + (size & 1), 0);
            std::memcpy(text.data(), title_.data(), title_.size());
            if (WriteAt(f_, pos, text.data(), size)) titleInPlace_ = true;
        }
        std::vector<uint8_t> id3;
        if (id3Chunk_.body >= 0 || !InfoHoldsAll(tags_)) {
            id3 = LId3v2Build(tags_, 0);
            if (id3Chunk_.body >= 0 && id3.size() <= id3Chunk_.size) {
                id3 = LId3v2Build(tags_, size_t(id3Chunk_.size) - id3.size());
                if (!WriteAt(f_, id3Chunk_.body, id3.data(), id3.size())) return false;
                id3.clear();
            } else {
                if (id3Chunk_.body >= 0 && !WriteAt(f_, id3Chunk_.header, "JUNK", 4)) return false;
                id3 = LId3v2Build(tags_, kId3Padding);
            }
        }
        int64_t end = f_.GetFileSizeBytes();
        if (end < 0) return false;
        if (end & 1) {  // keep chunks on even offsets after an unpadded odd chunk
            uint8_t zero = 0;
            if (!WriteAt(f_, end, &zero, 1)) return false;
            ++end;
        }
        if (std::find(written_.begin(), written_.end(), false) != written_.end()) {
            std::vector<uint8_t> chunk = {'L', 'I', 'S', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O'};
            for (size_t i = 0; i < items_.size(); ++i) {
                const char* id = LRiffInfoId(items_[i].first);
                if (written_[i] || !id) continue;
                const std::string& value = items_[i].second;
                uint8_t head[8];
                std::memcpy(head, id, 4);
                StoreLE32(head + 4, uint32_t(value.size() + 1));
                chunk.insert(chunk.end(), head, head + 8);
                chunk.insert(chunk.end(), value.begin(), value.end());
                chunk.push_back(0);
                if (chunk.size() & 1) chunk.push_back(0);
            }
            StoreLE32(chunk.data() + 4, uint32_t(chunk.size() - 8));
            if (!WriteAt(f_, end, chunk.data(), chunk.size())) return false;
            end += int64_t(chunk.size());
        }
        if (!title_.empty() && !titleInPlace_) {
            const uint32_t textSize = DispTextSize(title_.size());
            std::vector<uint8_t> chunk(12 + textSize, 0);
            std::memcpy(chunk.data(), "DISP", 4);
            StoreLE32(chunk.data() + 4, 4 + textSize);
            StoreLE32(chunk.data() + 8, 1);
            std::memcpy(chunk.data() + 12, title_.data(), title_.size());
            if (!WriteAt(f_, end, chunk.data(), chunk.size())) return false;
            end += int64_t(chunk.size());
        }
        if (!id3.empty()) {
            uint8_t head[8];
            std::memcpy(head, "id3 ", 4);
            StoreLE32(head + 4, uint32_t(id3.size()));
            if (id3.size() & 1) id3.push_back(0);
            if (!WriteAt(f_, end, head, 8) || !WriteAt(f_, end + 8, id3.data(), id3.size()))
                return false;
        }
        return true;
    }

  private:
    LFile& f_;
    const LAudioTagData& tags_;
    const std::vector<std::pair<std::string, std::string>>& items_;
    std::vector<bool> written_;
    std::string title_;
    std::pair<int64_t, uint32_t> lastDisp_{-1, 0};
    LChunk id3Chunk_{{}, 0, -1, -1, 0};
    bool titleInPlace_ = false;
};

}  // namespace

bool LReadWavTags(LByteSource& bytes, LAudioTagData& tags, bool replace) {
    TagReader reader(tags, replace);
    WalkWav(bytes, reader);
    reader.Finish();
    return !tags.Empty();
}

bool LWriteWavTags(LFile& file, const LAudioTagData& tags) {
    LFileBytes bytes(file);
    TagWriter writer(file, tags);
    WalkWav(bytes, writer);
    return writer.Append() && LChunkFixFormSize(file);
}
