// Reading and writing audio tags: ID3v1.1 in MP3 files, "LIST"/"INFO" and "DISP" in WAV files.
#include "store/tags.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/byteorder.h"
#include "support/file.h"
#include "support/fileops.h"
#include "support/trace.h"

namespace {

constexpr size_t kMaxValue = 259;
constexpr int64_t kId3Size = 128;

bool ReadAt(LFile& f, int64_t pos, void* buf, int32_t n) {
    return f.Seek(pos) && f.Read(buf, n) == n;
}
bool WriteAt(LFile& f, int64_t pos, const void* buf, int32_t n) {
    return f.Seek(pos) && f.Write(buf, n) == n;
}

// The INFO sub-chunk ids and the tag names they carry, as every other reader maps them. "ICOP"
// (the copyright) is read as the date only when there is no "ICRD": this program once wrote the
// date there.
struct InfoId {
    const char* id;
    const char* name;
};
constexpr InfoId kInfoIds[] = {{"IART", "ARTIST"}, {"INAM", "TITLE"}, {"IPRD", "ALBUM"},
                               {"ICRD", "DATE"},   {"IGNR", "GENRE"}, {"ITRK", "TRACKNUMBER"},
                               {"ICMT", "COMMENT"}};
constexpr const char* kKnownIds[] = {"IPRD", "ITRK", "INAM", "ICRD", "IGNR", "ICMT", "IART"};
constexpr char kBlankId[4] = {' ', ' ', ' ', ' '};

const char* NameOfId(const uint8_t* id) {
    for (const InfoId& e : kInfoIds)
        if (std::memcmp(id, e.id, 4) == 0) return e.name;
    return nullptr;
}
const char* IdOfName(const std::string& name) {
    for (const InfoId& e : kInfoIds)
        if (name == e.name) return e.id;
    return nullptr;
}
bool IsKnownId(const uint8_t* id) {
    for (const char* k : kKnownIds)
        if (std::memcmp(id, k, 4) == 0) return true;
    return false;
}

// Reads up to kMaxValue bytes of text at pos (stopping at the first zero).
std::string ReadText(LFile& f, int64_t pos, uint64_t size) {
    char buf[kMaxValue + 1];
    int32_t n = int32_t(std::min<uint64_t>(size, kMaxValue));
    if (n <= 0 || !ReadAt(f, pos, buf, n)) return std::string();
    buf[n] = 0;
    return std::string(buf);
}

// The text size of a "DISP" chunk this program writes for a title of len characters.
uint32_t DispTextSize(size_t len) {
    return uint32_t((len & ~size_t(1)) + 2);
}

// What the WAV walk hands to its caller.
class WavVisitor {
  public:
    virtual ~WavVisitor() = default;
    // An "INFO" list: its sub-chunks lie between begin and end (file offsets).
    virtual bool InfoList(LFile& f, int64_t begin, int64_t end) = 0;
    // A "DISP" chunk of text type 1: its text begins at pos and holds size bytes.
    virtual void DispText(LFile& f, int64_t pos, uint32_t size) = 0;
};

// Walks the RIFF/WAVE chunks of the file; stops at the first short read or malformed size.
void WalkWav(LFile& f, WavVisitor& v) {
    const int64_t fileSize = f.GetFileSizeBytes();
    if (fileSize < 12) return;
    int64_t pos = 0;
    for (;;) {
        uint8_t top[12];
        if (!ReadAt(f, pos, top, 12)) return;
        if (std::memcmp(top, "RIFF", 4) == 0 && std::memcmp(top + 8, "WAVE", 4) == 0) break;
        uint64_t size = LoadLE32(top + 4);
        size += size & 1;
        if (size < 5) return;
        pos += 8 + int64_t(size);
    }
    pos += 12;
    for (;;) {
        uint8_t head[8];
        if (pos + 8 > fileSize || !ReadAt(f, pos, head, 8)) return;
        const uint64_t size = LoadLE32(head + 4);
        const int64_t body = pos + 8;
        const int64_t next = body + int64_t(size + (size & 1));
        if (std::memcmp(head, "LIST", 4) == 0 && size >= 4) {
            uint8_t type[4];
            if (!ReadAt(f, body, type, 4)) return;
            if (strncasecmp(reinterpret_cast<const char*>(type), "INFO", 4) == 0) {
                int64_t end = std::min<int64_t>(body + int64_t(size), fileSize);
                if (!v.InfoList(f, body + 4, end)) return;
            }
        } else if (std::memcmp(head, "DISP", 4) == 0) {
            if (size < 4) return;
            uint8_t type[4];
            if (!ReadAt(f, body, type, 4)) return;
            // Only type 1 carries text; other types (pictures) are not titles.
            if (LoadLE32(type) == 1 && size > 4) v.DispText(f, body + 4, uint32_t(size - 4));
        }
        pos = next;
    }
}

// Calls fn(headerPos, id, size) for each sub-chunk of an INFO list; false when a size is
// malformed (the sub-chunk would reach past the list).
template <class F>
bool ForEachSubChunk(LFile& f, int64_t begin, int64_t end, F fn) {
    int64_t sp = begin;
    while (sp + 8 <= end) {
        uint8_t head[8];
        if (!ReadAt(f, sp, head, 8)) return false;
        const uint64_t size = LoadLE32(head + 4);
        if (sp + 8 + int64_t(size) > end) return false;
        fn(sp, head, uint32_t(size));
        sp += 8 + int64_t(size + (size & 1));
    }
    return true;
}

class TagReader : public WavVisitor {
  public:
    TagReader(LAudioTagData& tags, bool replace) : tags_(tags), replace_(replace) {}
    bool InfoList(LFile& f, int64_t begin, int64_t end) override {
        std::string copyright;
        bool created = false;
        const bool ok =
            ForEachSubChunk(f, begin, end, [&](int64_t sp, const uint8_t* head, uint32_t size) {
                if (std::memcmp(head, "ICOP", 4) == 0) copyright = ReadText(f, sp + 8, size);
                created = created || std::memcmp(head, "ICRD", 4) == 0;
                if (const char* name = NameOfId(head)) Apply(name, ReadText(f, sp + 8, size));
            });
        if (!created && !copyright.empty()) Apply("DATE", copyright);
        return ok;
    }
    // A title that changed length leaves its old "DISP" behind: the last one is the title.
    void DispText(LFile& f, int64_t pos, uint32_t size) override { disp_ = ReadText(f, pos, size); }
    void Finish() {
        if (!disp_.empty()) Apply("TITLE", disp_);
    }
    void Apply(const char* name, const std::string& value) {
        if (!replace_ && *tags_.Get(name, "")) return;
        tags_.Set(name, value.c_str());
    }

  private:
    LAudioTagData& tags_;
    bool replace_;
    std::string disp_;
};

class TagWriter : public WavVisitor {
  public:
    explicit TagWriter(const LAudioTagData& tags)
        : items_(tags.Items()), written_(items_.size(), false) {
        // Nothing to write for empty values or names without a place in the file.
        for (size_t i = 0; i < items_.size(); ++i) {
            const auto& [name, value] = items_[i];
            if (value.empty() || !IdOfName(name)) written_[i] = true;
        }
        title_ = tags.Get("TITLE", "");
    }

    bool InfoList(LFile& f, int64_t begin, int64_t end) override {
        std::vector<std::pair<int64_t, uint32_t>> blanks;
        bool ok =
            ForEachSubChunk(f, begin, end, [&](int64_t sp, const uint8_t* head, uint32_t size) {
                if (IsKnownId(head)) WriteAt(f, sp, kBlankId, 4);
                if (IsKnownId(head) || std::memcmp(head, kBlankId, 4) == 0)
                    blanks.emplace_back(sp, size);
            });
        for (size_t i = 0; i < items_.size(); ++i) {
            if (written_[i]) continue;
            const auto& [name, value] = items_[i];
            const uint32_t want = uint32_t(value.size() + 1);
            for (auto& slot : blanks) {
                if (slot.first < 0 || slot.second != want) continue;
                uint8_t head[8];
                std::memcpy(head, IdOfName(name), 4);
                StoreLE32(head + 4, want);
                if (WriteAt(f, slot.first, head, 8) &&
                    WriteAt(f, slot.first + 8, value.c_str(), int32_t(want)))
                    written_[i] = true;
                slot.first = -1;  // used
                break;
            }
        }
        return ok;
    }

    // Only the last "DISP" counts (the reader's rule): the title goes there when it fits.
    void DispText(LFile&, int64_t pos, uint32_t size) override { lastDisp_ = {pos, size}; }

    // Appends what was not written in place; false on a write failure.
    bool Append(LFile& f) {
        if (const auto [pos, size] = lastDisp_;
            !title_.empty() && (size == title_.size() + 1 || size == DispTextSize(title_.size()))) {
            std::vector<uint8_t> text(size + (size & 1), 0);
            std::memcpy(text.data(), title_.data(), title_.size());
            if (WriteAt(f, pos, text.data(), int32_t(size))) titleInPlace_ = true;
        }
        int64_t end = f.GetFileSizeBytes();
        if (end < 0) return false;
        if (end & 1) {  // keep chunks on even offsets after an unpadded odd chunk
            uint8_t zero = 0;
            if (!WriteAt(f, end, &zero, 1)) return false;
            ++end;
        }
        if (std::find(written_.begin(), written_.end(), false) != written_.end()) {
            std::vector<uint8_t> chunk = {'L', 'I', 'S', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O'};
            for (size_t i = 0; i < items_.size(); ++i) {
                const char* id = IdOfName(items_[i].first);
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
            if (!WriteAt(f, end, chunk.data(), int32_t(chunk.size()))) return false;
            end += int64_t(chunk.size());
        }
        if (!title_.empty() && !titleInPlace_) {
            const uint32_t textSize = DispTextSize(title_.size());
            std::vector<uint8_t> chunk(12 + textSize, 0);
            std::memcpy(chunk.data(), "DISP", 4);
            StoreLE32(chunk.data() + 4, 4 + textSize);
            StoreLE32(chunk.data() + 8, 1);
            std::memcpy(chunk.data() + 12, title_.data(), title_.size());
            if (!WriteAt(f, end, chunk.data(), int32_t(chunk.size()))) return false;
        }
        return true;
    }

  private:
    const std::vector<std::pair<std::string, std::string>>& items_;
    std::vector<bool> written_;
    std::string title_;
    std::pair<int64_t, uint32_t> lastDisp_{-1, 0};
    bool titleInPlace_ = false;
};

// Extends the RIFF size over chunks appended after the form, so that other readers see them.
void FixRiffSize(LFile& f) {
    uint8_t top[12];
    if (!ReadAt(f, 0, top, 12)) return;
    if (std::memcmp(top, "RIFF", 4) != 0 || std::memcmp(top + 8, "WAVE", 4) != 0) return;
    const uint32_t old = LoadLE32(top + 4);
    const int64_t size = f.GetFileSizeBytes();
    if (old == 0xFFFFFFFF || size - 8 > int64_t(0xFFFFFFFE) || size - 8 <= int64_t(old)) return;
    uint8_t field[4];
    StoreLE32(field, uint32_t(size - 8));
    WriteAt(f, 4, field, 4);
}

// Copies value into the ID3 field: non-empty values truncated and zero-padded; the field's
// last byte is then zeroed unless keepLast.
void StoreTagMP3(uint8_t* field, size_t size, const char* value, bool zeroLast) {
    if (*value) {
        size_t n = std::min(std::strlen(value), size);
        std::memset(field, 0, size);
        std::memcpy(field, value, n);
    }
    if (zeroLast) field[size - 1] = 0;
}

std::string Field(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len]) ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

// Tag files are opened sharing reading and writing, retrying for up to a second while another
// program holds them. A missing file is not created: reading or writing tags never makes one.
bool OpenForTags(LFile& f, const char* path, bool write) {
    return OpenFileRetrying(f, path, write ? (LFILE_READ | LFILE_WRITE) : LFILE_READ,
                            LSHARE_READ | LSHARE_WRITE, 1000, LOPEN_EXISTING);
}

}  // namespace

void LAudioTagData::Set(const char* name, const char* value) {
    std::string v(value ? value : "");
    if (v.size() > kMaxValue) v.resize(kMaxValue);
    for (auto& [n, old] : items_) {
        if (n == name) {
            old = v;
            return;
        }
    }
    items_.insert(items_.begin(), {name, v});
}

const char* LAudioTagData::Get(const char* name, const char* defaultValue) const {
    for (const auto& [n, v] : items_)
        if (n == name) return v.c_str();
    return defaultValue;
}

bool LAudioTagData::ReadTags(const char* path) {
    if (ExtIs(LPathExtension(path), ".mp3")) return ReadTagsMp3(path);
    if (ExtIs(LPathExtension(path), ".wav")) return UpdateTags(path, true);
    return false;
}

bool LAudioTagData::WriteTags(const char* path) {
    if (ExtIs(LPathExtension(path), ".mp3")) return WriteTagsMP3(path);
    if (ExtIs(LPathExtension(path), ".wav")) return WriteTagsWav(path);
    return false;
}

bool LAudioTagData::CheckFile(const char* extension, const char* path, const LFile& file) {
    return file.IsOpen() && ExtIs(LPathExtension(path), extension);
}

bool LAudioTagData::ReadTagsMp3(const char* path) {
    LFile f;
    if (!OpenForTags(f, path, false)) return false;
    const int64_t size = f.GetFileSizeBytes();
    uint8_t tag[kId3Size];
    if (size < kId3Size || !ReadAt(f, size - kId3Size, tag, kId3Size)) return false;
    if (std::memcmp(tag, "TAG", 3) != 0) return false;
    Set("TITLE", Field(tag + 3, 29).c_str());
    Set("ARTIST", Field(tag + 33, 29).c_str());
    Set("ALBUM", Field(tag + 63, 29).c_str());
    Set("DATE", Field(tag + 93, 4).c_str());
    if (tag[125] != 0 || tag[126] == 0) {
        Set("COMMENT", Field(tag + 97, 29).c_str());
    } else {
        Set("COMMENT", Field(tag + 97, 28).c_str());
        Set("TRACKNUMBER", std::to_string(tag[126]).c_str());
    }
    if (tag[127] > 147)
        Set("GENRE", std::to_string(tag[127]).c_str());
    else
        Set("GENRE", kId3Genres[tag[127]]);
    return true;
}

bool LAudioTagData::WriteTagsMP3(const char* path) {
    LFile f;
    if (!OpenForTags(f, path, true)) {
        LTrace("LAudioTagData::WriteTagsMP3 cannot open the file");
        return false;
    }
    const int64_t size = f.GetFileSizeBytes();
    if (size < 0) return false;
    uint8_t tag[kId3Size] = {0};
    bool update = size >= kId3Size && ReadAt(f, size - kId3Size, tag, kId3Size) &&
                  std::memcmp(tag, "TAG", 3) == 0;
    if (!update) std::memset(tag, 0, sizeof tag);
    std::memcpy(tag, "TAG", 3);
    StoreTagMP3(tag + 3, 30, Get("TITLE"), true);
    StoreTagMP3(tag + 33, 30, Get("ARTIST"), true);
    StoreTagMP3(tag + 63, 30, Get("ALBUM"), true);
    StoreTagMP3(tag + 93, 4, Get("DATE"), false);
    StoreTagMP3(tag + 97, 29, Get("COMMENT"), true);
    if (const char* track = Get("TRACKNUMBER"); *track) tag[126] = uint8_t(std::atoi(track));
    if (const char* genre = Get("GENRE"); *genre) {
        if (*genre >= '0' && *genre <= '9') {
            tag[127] = uint8_t(std::atoi(genre));
        } else {
            for (int i = 0; i < LID3_GENRE_COUNT; ++i) {
                if (strcasecmp(genre, kId3Genres[i]) == 0) {
                    tag[127] = uint8_t(i);
                    break;
                }
            }
        }
    }
    return WriteAt(f, update ? size - kId3Size : size, tag, kId3Size);
}

bool LAudioTagData::UpdateTags(const char* path, bool replace) {
    LFile f;
    if (!OpenForTags(f, path, false)) return false;
    TagReader reader(*this, replace);
    WalkWav(f, reader);
    reader.Finish();
    return true;
}

bool LAudioTagData::WriteTagsWav(const char* path) {
    if (!UpdateTags(path, false)) {
        LTrace("LAudioTagData::WriteTagsWav cannot open the file");
        return false;
    }
    LFile f;
    if (!OpenForTags(f, path, true)) return false;
    TagWriter writer(*this);
    WalkWav(f, writer);
    if (!writer.Append(f)) return false;
    FixRiffSize(f);
    return true;
}
