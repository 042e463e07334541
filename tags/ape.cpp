// Reading APEv2 tags: text items by key, cover art from binary items.
#include "tags/ape.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "support/byteorder.h"

namespace {

struct Key {
    const char* key;
    const char* name;
};
constexpr Key kKeys[] = {{"Title", "TITLE"},
                         {"Artist", "ARTIST"},
                         {"Album Artist", "ALBUMARTIST"},
                         {"AlbumArtist", "ALBUMARTIST"},
                         {"Album", "ALBUM"},
                         {"Year", "DATE"},
                         {"Genre", "GENRE"},
                         {"Composer", "COMPOSER"},
                         {"Comment", "COMMENT"},
                         {"Lyrics", "LYRICS"},
                         {"Publisher", "ORGANIZATION"},
                         {"Copyright", "COPYRIGHT"}};

std::string SniffMime(LBytes data) {
    if (data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8) return "image/jpeg";
    if (data.size() >= 8 && std::memcmp(data.data(), "\x89PNG", 4) == 0) return "image/png";
    if (data.size() >= 6 && std::memcmp(data.data(), "GIF8", 4) == 0) return "image/gif";
    return "image/";
}

}  // namespace

size_t LApeSize(LBytes f) {
    if (f.size() < LAPE_FOOTER || std::memcmp(f.data(), "APETAGEX", 8) != 0) return 0;
    const uint32_t version = LoadLE32(f.data() + 8);
    if (version != 1000 && version != 2000) return 0;
    const uint64_t size = LoadLE32(f.data() + 12);
    const bool header = (LoadLE32(f.data() + 20) & 0x80000000u) != 0;
    if (size < LAPE_FOOTER) return 0;
    return size_t(size + (header ? LAPE_FOOTER : 0));
}

bool LApeParse(LBytes tag, LAudioTagData& tags) {
    if (tag.size() < LAPE_FOOTER) return false;
    LBytes footer = tag.last(LAPE_FOOTER);
    const size_t whole = LApeSize(footer);
    if (!whole || whole > tag.size()) return false;
    const uint32_t count = LoadLE32(footer.data() + 16);
    const uint64_t itemsSize = LoadLE32(footer.data() + 12) - LAPE_FOOTER;
    LBytes items = tag.subspan(tag.size() - LAPE_FOOTER - size_t(itemsSize), size_t(itemsSize));
    size_t pos = 0;
    for (uint32_t i = 0; i < count && i < LTAG_MAX_FIELDS && pos + 9 <= items.size(); ++i) {
        const uint32_t size = LoadLE32(items.data() + pos);
        const uint32_t flags = LoadLE32(items.data() + pos + 4);
        size_t keyEnd = pos + 8;
        while (keyEnd < items.size() && items[keyEnd]) ++keyEnd;
        if (keyEnd >= items.size() || size > items.size() - keyEnd - 1) break;
        const std::string key(items.begin() + pos + 8, items.begin() + keyEnd);
        LBytes value = items.subspan(keyEnd + 1, size);
        pos = keyEnd + 1 + size;
        const uint32_t type = flags >> 1 & 3;
        if (type == 1) {
            // Cover art: a description, a zero, then the picture's bytes.
            if (strncasecmp(key.c_str(), "Cover Art", 9) != 0) continue;
            size_t zero = 0;
            while (zero < value.size() && value[zero]) ++zero;
            if (zero >= value.size()) continue;
            LTagPicture p;
            p.type = strcasecmp(key.c_str(), "Cover Art (Back)") == 0    ? 4
                     : strcasecmp(key.c_str(), "Cover Art (Front)") == 0 ? 3
                                                                         : 0;
            p.description = LTextFromUnknown(value.first(zero));
            p.data.assign(value.begin() + zero + 1, value.end());
            p.mime = SniffMime(p.data);
            tags.AddPicture(std::move(p));
            continue;
        }
        if (type != 0) continue;
        std::string text = LTextCut(LTextFromUnknown(value), LTAG_MAX_VALUE);
        while (!text.empty() && text.back() == '\0') text.pop_back();
        for (size_t at; (at = text.find('\0')) != std::string::npos;) text.replace(at, 1, "; ");
        if (strcasecmp(key.c_str(), "Track") == 0) {
            LTagSetNumberPair(tags, "TRACKNUMBER", "TRACKTOTAL", text);
            continue;
        }
        if (strcasecmp(key.c_str(), "Disc") == 0) {
            LTagSetNumberPair(tags, "DISCNUMBER", "DISCTOTAL", text);
            continue;
        }
        const char* name = nullptr;
        for (const Key& k : kKeys)
            if (strcasecmp(key.c_str(), k.key) == 0) name = k.name;
        tags.Set(name ? std::string(name) : LTagUpper(key), text);
    }
    return true;
}
