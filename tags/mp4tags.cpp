// MP4 files (M4A): the "ilst" item list under moov/udta/meta, read and rewritten; the chunk
// offsets are moved on when the rewritten "moov" comes before the media data.
#include <cstdlib>
#include <cstring>
#include <functional>

#include "support/byteorder.h"
#include "support/file.h"
#include "tags/tagfile.h"
#include "tags/tagnames.h"
#include "tags/tagtext.h"

namespace {

struct Item {
    const char* atom;
    const char* name;
};
constexpr Item kTextItems[] = {
    {"\xA9nam", "TITLE"},
    {"\xA9"
     "ART",
     "ARTIST"},
    {"aART", "ALBUMARTIST"},
    {"\xA9"
     "alb",
     "ALBUM"},
    {"\xA9"
     "day",
     "DATE"},
    {"\xA9gen", "GENRE"},
    {"\xA9wrt", "COMPOSER"},
    {"\xA9"
     "cmt",
     "COMMENT"},
    {"\xA9lyr", "LYRICS"},
    {"\xA9grp", "GROUPING"},
    {"cprt", "COPYRIGHT"},
    {"soal", "ALBUMSORT"},
    {"soar", "ARTISTSORT"},
    {"sonm", "TITLESORT"},
    {"soaa", "ALBUMARTISTSORT"},
    {"soco", "COMPOSERSORT"},
};
constexpr uint32_t kUtf8 = 1, kJpeg = 13, kPng = 14, kInteger = 21, kBmp = 27;

// Calls fn(type, content, offset of the box in the span, header size) for each box of a span;
// false on a size that does not fit.
bool ForEachBox(LBytes span, const std::function<void(const char*, LBytes, size_t, size_t)>& fn) {
    size_t pos = 0;
    while (pos + 8 <= span.size()) {
        uint64_t size = LoadBE32(span.data() + pos);
        size_t header = 8;
        if (size == 1) {
            if (pos + 16 > span.size()) return false;
            size =
                uint64_t(LoadBE32(span.data() + pos + 8)) << 32 | LoadBE32(span.data() + pos + 12);
            header = 16;
        } else if (size == 0) {
            size = span.size() - pos;
        }
        if (size < header || size > span.size() - pos) return false;
        char type[5] = {0};
        std::memcpy(type, span.data() + pos + 4, 4);
        fn(type, span.subspan(pos + header, size_t(size) - header), pos, header);
        pos += size_t(size);
    }
    return true;
}

LBytes Child(LBytes parent, const char* type) {
    LBytes found;
    ForEachBox(parent, [&](const char* t, LBytes content, size_t, size_t) {
        if (found.empty() && std::memcmp(t, type, 4) == 0) found = content;
    });
    return found;
}

// A "meta" box's children: after version and flags, which QuickTime's form leaves out.
LBytes MetaChildren(LBytes meta) {
    if (meta.size() >= 8 && std::memcmp(meta.data() + 4, "hdlr", 4) == 0) return meta;
    return meta.size() >= 4 ? meta.subspan(4) : LBytes();
}

void PutBox(std::vector<uint8_t>& out, const char* type, LBytes content) {
    uint8_t h[8];
    StoreBE32(h, uint32_t(content.size() + 8));
    std::memcpy(h + 4, type, 4);
    out.insert(out.end(), h, h + 8);
    out.insert(out.end(), content.begin(), content.end());
}

std::vector<uint8_t> Data(uint32_t type, LBytes value) {
    std::vector<uint8_t> content(8, 0);
    StoreBE32(content.data(), type);
    content.insert(content.end(), value.begin(), value.end());
    std::vector<uint8_t> box;
    PutBox(box, "data", content);
    return box;
}

LBytes Text(const std::string& s) {
    return LBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

void ReadItem(const char* atom, LBytes content, LAudioTagData& tags) {
    std::string mean, name;
    ForEachBox(content, [&](const char* t, LBytes box, size_t, size_t) {
        if ((std::memcmp(t, "mean", 4) == 0 || std::memcmp(t, "name", 4) == 0) && box.size() >= 4)
            (t[0] == 'm' ? mean : name) = LTextFromUnknown(box.subspan(4));
        if (std::memcmp(t, "data", 4) != 0 || box.size() < 8) return;
        const uint32_t type = LoadBE32(box.data()) & 0xFFFFFF;
        LBytes v = box.subspan(8);
        if (std::memcmp(atom, "covr", 4) == 0) {
            LTagPicture p;
            p.mime = type == kPng ? "image/png" : type == kBmp ? "image/bmp" : "image/jpeg";
            p.data.assign(v.begin(), v.end());
            tags.AddPicture(std::move(p));
        } else if (std::memcmp(atom, "trkn", 4) == 0 || std::memcmp(atom, "disk", 4) == 0) {
            if (v.size() < 6) return;
            const bool track = atom[0] == 't';
            const unsigned n = LoadBE16(v.data() + 2), total = LoadBE16(v.data() + 4);
            if (n) tags.Set(track ? "TRACKNUMBER" : "DISCNUMBER", std::to_string(n));
            if (total) tags.Set(track ? "TRACKTOTAL" : "DISCTOTAL", std::to_string(total));
        } else if (std::memcmp(atom, "gnre", 4) == 0) {
            if (v.size() >= 2 && LoadBE16(v.data()) > 0)
                tags.Set("GENRE", LTagGenreName(LoadBE16(v.data()) - 1u));
        } else if (std::memcmp(atom, "tmpo", 4) == 0 || std::memcmp(atom, "cpil", 4) == 0) {
            uint32_t n = 0;
            for (uint8_t b : v.first(std::min<size_t>(v.size(), 4))) n = n << 8 | b;
            tags.Set(atom[0] == 't' ? "BPM" : "COMPILATION", std::to_string(n));
        } else if (std::memcmp(atom, "----", 4) == 0) {
            if (!name.empty()) tags.Set(LTagNameOfDescription(name), LTextFromUnknown(v));
        } else {
            for (const Item& i : kTextItems)
                if (std::memcmp(atom, i.atom, 4) == 0)
                    tags.Set(i.name, LTextCut(LTextFromUnknown(v), LTAG_MAX_VALUE));
        }
    });
}

std::vector<uint8_t> BuildIlst(const LAudioTagData& tags) {
    std::vector<uint8_t> ilst;
    const auto& items = tags.Items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const auto& [name, value] = *it;
        if (value.empty() || name == "TRACKTOTAL" || name == "DISCTOTAL") continue;
        if (name == "TRACKNUMBER" || name == "DISCNUMBER") {
            const bool track = name[0] == 'T';
            uint8_t v[8] = {0};
            StoreBE16(v + 2, uint32_t(std::atoi(value.c_str())));
            StoreBE16(v + 4, uint32_t(std::atoi(tags.Get(track ? "TRACKTOTAL" : "DISCTOTAL"))));
            PutBox(ilst, track ? "trkn" : "disk", Data(0, LBytes(v, track ? 8 : 6)));
            continue;
        }
        if (name == "BPM" || name == "COMPILATION") {
            uint8_t v[2];
            StoreBE16(v, uint32_t(std::atoi(value.c_str())));
            const bool bpm = name[0] == 'B';
            PutBox(ilst, bpm ? "tmpo" : "cpil",
                   Data(kInteger, bpm ? LBytes(v, 2) : LBytes(v + 1, 1)));
            continue;
        }
        const char* atom = nullptr;
        for (const Item& i : kTextItems)
            if (name == i.name) atom = i.atom;
        if (atom) {
            PutBox(ilst, atom, Data(kUtf8, Text(value)));
            continue;
        }
        std::vector<uint8_t> free;
        const std::string mean = std::string(4, '\0') + "com.apple.iTunes";
        const std::string desc = std::string(4, '\0') + LTagDescriptionOfName(name);
        PutBox(free, "mean", Text(mean));
        PutBox(free, "name", Text(desc));
        const std::vector<uint8_t> data = Data(kUtf8, Text(value));
        free.insert(free.end(), data.begin(), data.end());
        PutBox(ilst, "----", free);
    }
    std::vector<uint8_t> covers;
    for (const LTagPicture& p : tags.Pictures()) {
        const uint32_t type = p.mime == "image/png"                             ? kPng
                              : p.mime == "image/bmp"                           ? kBmp
                              : p.mime == "image/jpeg" || p.mime == "image/jpg" ? kJpeg
                                                                                : 0;
        if (!type) continue;  // MP4 holds no other kind of picture
        const std::vector<uint8_t> data = Data(type, p.data);
        covers.insert(covers.end(), data.begin(), data.end());
    }
    if (!covers.empty()) PutBox(ilst, "covr", covers);
    return ilst;
}

// Moves every chunk offset of the tracks in a moov body on by delta, in place.
bool FixOffsets(std::span<uint8_t> span, int64_t delta) {
    size_t pos = 0;
    while (pos + 8 <= span.size()) {
        const uint32_t size = LoadBE32(span.data() + pos);
        if (size < 8 || size > span.size() - pos) return false;
        const uint8_t* type = span.data() + pos + 4;
        std::span<uint8_t> content = span.subspan(pos + 8, size - 8);
        if (!std::memcmp(type, "trak", 4) || !std::memcmp(type, "mdia", 4) ||
            !std::memcmp(type, "minf", 4) || !std::memcmp(type, "stbl", 4)) {
            if (!FixOffsets(content, delta)) return false;
        } else if (!std::memcmp(type, "stco", 4) || !std::memcmp(type, "co64", 4)) {
            const bool wide = type[0] == 'c';
            if (content.size() < 8) return false;
            const uint32_t count = LoadBE32(content.data() + 4);
            const size_t width = wide ? 8 : 4;
            if (count > (content.size() - 8) / width) return false;
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t* e = content.data() + 8 + i * width;
                if (wide) {
                    const uint64_t v = uint64_t(LoadBE32(e)) << 32 | LoadBE32(e + 4);
                    const uint64_t moved = v + uint64_t(delta);
                    StoreBE32(e, uint32_t(moved >> 32));
                    StoreBE32(e + 4, uint32_t(moved));
                } else {
                    const int64_t moved = int64_t(LoadBE32(e)) + delta;
                    if (moved < 0 || moved > int64_t(UINT32_MAX)) return false;
                    StoreBE32(e, uint32_t(moved));
                }
            }
        }
        pos += size;
    }
    return true;
}

struct TopBox {
    char type[5] = {0};
    int64_t pos = 0;
    uint64_t size = 0;
    size_t header = 8;
};

bool TopBoxes(LByteSource& bytes, std::vector<TopBox>& boxes) {
    const int64_t end = bytes.Size();
    for (int64_t pos = 0; pos + 8 <= end && boxes.size() < 4096;) {
        uint8_t h[16];
        if (!bytes.ReadAt(pos, h, 8)) return false;
        TopBox b;
        std::memcpy(b.type, h + 4, 4);
        b.pos = pos;
        b.size = LoadBE32(h);
        if (b.size == 1) {
            if (!bytes.ReadAt(pos + 8, h + 8, 8)) return false;
            b.size = uint64_t(LoadBE32(h + 8)) << 32 | LoadBE32(h + 12);
            b.header = 16;
        } else if (b.size == 0) {
            b.size = uint64_t(end - pos);
        }
        if (b.size < b.header || b.size > uint64_t(end - pos)) return false;
        boxes.push_back(b);
        pos += int64_t(b.size);
    }
    return !boxes.empty() && (std::memcmp(boxes[0].type, "ftyp", 4) == 0 ||
                              std::memcmp(boxes[0].type, "moov", 4) == 0);
}

bool ReadMoov(LByteSource& bytes, std::vector<TopBox>& boxes, size_t& index,
              std::vector<uint8_t>& moov) {
    if (!TopBoxes(bytes, boxes)) return false;
    for (index = 0; index < boxes.size(); ++index)
        if (std::memcmp(boxes[index].type, "moov", 4) == 0)
            return LReadBlock(bytes, boxes[index].pos + int64_t(boxes[index].header),
                              boxes[index].size - boxes[index].header, moov);
    return false;
}

}  // namespace

bool LReadMp4Tags(LByteSource& bytes, LAudioTagData& tags) {
    std::vector<TopBox> boxes;
    size_t index;
    std::vector<uint8_t> moov;
    if (!ReadMoov(bytes, boxes, index, moov)) return false;
    const LBytes ilst = Child(MetaChildren(Child(Child(moov, "udta"), "meta")), "ilst");
    size_t items = 0;
    ForEachBox(ilst, [&](const char* type, LBytes content, size_t, size_t) {
        if (++items <= LTAG_MAX_FIELDS) ReadItem(type, content, tags);
    });
    return !tags.Empty();
}

bool LWriteMp4Tags(LFile& file, const LAudioTagData& tags) {
    LFileBytes bytes(file);
    std::vector<TopBox> boxes;
    size_t index;
    std::vector<uint8_t> moov;
    if (!ReadMoov(bytes, boxes, index, moov)) return false;
    bool dataAfter = false;
    for (size_t i = index + 1; i < boxes.size(); ++i) {
        if (std::memcmp(boxes[i].type, "moof", 4) == 0) return false;  // fragments: not here
        dataAfter = dataAfter || std::memcmp(boxes[i].type, "mdat", 4) == 0;
    }
    // meta: version and flags, the handler, the items.
    std::vector<uint8_t> meta(4, 0), hdlr(8, 0);
    const char handler[] = "mdirappl";
    hdlr.insert(hdlr.end(), handler, handler + 8);
    hdlr.resize(hdlr.size() + 9, 0);
    PutBox(meta, "hdlr", hdlr);
    PutBox(meta, "ilst", BuildIlst(tags));
    // udta keeps its other children; moov keeps everything but the old udta.
    std::vector<uint8_t> udta, body;
    LBytes oldUdta = Child(moov, "udta");
    ForEachBox(oldUdta, [&](const char* type, LBytes content, size_t, size_t) {
        if (std::memcmp(type, "meta", 4) != 0) PutBox(udta, type, content);
    });
    PutBox(udta, "meta", meta);
    bool placed = false;
    if (!ForEachBox(moov, [&](const char* type, LBytes content, size_t, size_t) {
            if (std::memcmp(type, "udta", 4) == 0) {
                if (!placed) PutBox(body, "udta", udta);
                placed = true;
            } else {
                PutBox(body, type, content);
            }
        }))
        return false;
    if (!placed) PutBox(body, "udta", udta);
    std::vector<uint8_t> newMoov;
    PutBox(newMoov, "moov", body);
    const TopBox& old = boxes[index];
    const int64_t delta = int64_t(newMoov.size()) - int64_t(old.size);
    if (dataAfter && delta != 0 && !FixOffsets(std::span<uint8_t>(newMoov).subspan(8), delta))
        return false;
    return LSpliceFile(file, old.pos, int64_t(old.size), newMoov);
}
