// Reading RIFF "INFO" lists from memory.
#include "tags/riffinfo.h"

#include <cstring>

#include "support/byteorder.h"

namespace {

struct InfoId {
    const char* id;
    const char* name;
};
constexpr InfoId kInfoIds[] = {{"IART", "ARTIST"}, {"INAM", "TITLE"}, {"IPRD", "ALBUM"},
                               {"ICRD", "DATE"},   {"IGNR", "GENRE"}, {"ITRK", "TRACKNUMBER"},
                               {"ICMT", "COMMENT"}};

}  // namespace

const char* LRiffInfoName(const uint8_t* id) {
    for (const InfoId& e : kInfoIds)
        if (std::memcmp(id, e.id, 4) == 0) return e.name;
    return nullptr;
}

const char* LRiffInfoId(const std::string& name) {
    for (const InfoId& e : kInfoIds)
        if (name == e.name) return e.id;
    return nullptr;
}

bool LRiffInfoForEach(LBytes list, const std::function<void(size_t, const uint8_t*, LBytes)>& fn) {
    size_t at = 0;
    while (at + 8 <= list.size()) {
        const uint64_t size = LoadLE32(list.data() + at + 4);
        if (size > list.size() - at - 8) return false;
        fn(at, list.data() + at, list.subspan(at + 8, size_t(size)));
        at += 8 + size_t(size + (size & 1));
    }
    return true;
}

std::string LRiffInfoText(LBytes value) {
    size_t n = 0;
    while (n < value.size() && value[n]) ++n;
    return LTextCut(LTextFromUnknown(value.first(n)), LTAG_MAX_VALUE);
}

bool LRiffInfoRead(LBytes list, LAudioTagData& tags, bool replace) {
    std::string copyright, part;
    bool created = false, track = false;
    auto apply = [&](const char* name, const std::string& value) {
        if (!replace && *tags.Get(name, "")) return;
        tags.Set(name, value);
    };
    const bool ok = LRiffInfoForEach(list, [&](size_t, const uint8_t* id, LBytes value) {
        if (std::memcmp(id, "ICOP", 4) == 0) copyright = LRiffInfoText(value);
        if (std::memcmp(id, "IPRT", 4) == 0) part = LRiffInfoText(value);
        created = created || std::memcmp(id, "ICRD", 4) == 0;
        track = track || std::memcmp(id, "ITRK", 4) == 0;
        if (const char* name = LRiffInfoName(id)) apply(name, LRiffInfoText(value));
    });
    if (!created && !copyright.empty()) apply("DATE", copyright);
    // Some writers keep the track number as the part ("IPRT").
    if (!track && !part.empty()) apply("TRACKNUMBER", part);
    return ok;
}
