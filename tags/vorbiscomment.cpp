// Reading and building Vorbis comment bodies and FLAC picture blocks.
#include "tags/vorbiscomment.h"

#include <strings.h>

#include "support/byteorder.h"

namespace {

// Other spellings some writers use, and the fields they mean.
constexpr const char* kAliases[][2] = {
    {"TOTALTRACKS", "TRACKTOTAL"},   {"TOTALDISCS", "DISCTOTAL"},
    {"ALBUM ARTIST", "ALBUMARTIST"}, {"YEAR", "DATE"},
    {"DESCRIPTION", "COMMENT"},      {"UNSYNCEDLYRICS", "LYRICS"}};

void PutString(std::vector<uint8_t>& out, const std::string& s) {
    uint8_t len[4];
    StoreLE32(len, uint32_t(s.size()));
    out.insert(out.end(), len, len + 4);
    out.insert(out.end(), s.begin(), s.end());
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    StoreBE32(b, v);
    out.insert(out.end(), b, b + 4);
}

}  // namespace

bool LVorbisCommentParse(LBytes body, LAudioTagData& tags, std::string* vendor) {
    if (body.size() < 8) return false;
    const uint64_t vendorSize = LoadLE32(body.data());
    if (vendorSize > body.size() - 8) return false;
    if (vendor) *vendor = std::string(body.begin() + 4, body.begin() + 4 + long(vendorSize));
    size_t pos = 4 + size_t(vendorSize);
    const uint32_t count = LoadLE32(body.data() + pos);
    pos += 4;
    // Repeated names (two artists) are joined; names are not case-sensitive.
    LAudioTagData read;
    for (uint32_t i = 0; i < count; ++i) {
        if (body.size() - pos < 4) return false;
        const uint64_t size = LoadLE32(body.data() + pos);
        pos += 4;
        if (size > body.size() - pos) return false;
        const std::string_view entry(reinterpret_cast<const char*>(body.data() + pos),
                                     size_t(size));
        pos += size_t(size);
        const size_t eq = entry.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        std::string name = LTagUpper(std::string(entry.substr(0, eq)));
        const std::string_view value = entry.substr(eq + 1);
        if (name == "METADATA_BLOCK_PICTURE") {
            std::vector<uint8_t> block;
            LTagPicture p;
            if (LBase64Decode(value, block, LTAG_MAX_PICTURE + 4096) && LFlacPictureParse(block, p))
                tags.AddPicture(std::move(p));
            continue;
        }
        for (const auto& alias : kAliases)
            if (name == alias[0] && !*read.Get(alias[1])) name = alias[1];
        std::string text =
            LTextFromUnknown(LBytes(reinterpret_cast<const uint8_t*>(value.data()), value.size()));
        if (name == "TRACKNUMBER" && text.find('/') != std::string::npos) {
            LTagSetNumberPair(read, "TRACKNUMBER", "TRACKTOTAL", text);
            continue;
        }
        if (name == "DISCNUMBER" && text.find('/') != std::string::npos) {
            LTagSetNumberPair(read, "DISCNUMBER", "DISCTOTAL", text);
            continue;
        }
        if (const char* old = read.Get(name.c_str(), nullptr); old && *old)
            text = old + ("; " + text);
        read.Set(name, text);
    }
    const auto& items = read.Items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) tags.Set(it->first, it->second);
    return true;
}

std::vector<uint8_t> LVorbisCommentBuild(const LAudioTagData& tags, const std::string& vendor,
                                         bool pictures) {
    std::vector<uint8_t> out;
    PutString(out, vendor);
    std::vector<std::string> entries;
    const auto& items = tags.Items();
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        if (!it->second.empty() && it->first.find('=') == std::string::npos && !it->first.empty())
            entries.push_back(it->first + "=" + it->second);
    if (pictures)
        for (const LTagPicture& p : tags.Pictures())
            entries.push_back("METADATA_BLOCK_PICTURE=" + LBase64Encode(LFlacPictureBuild(p)));
    uint8_t count[4];
    StoreLE32(count, uint32_t(entries.size()));
    out.insert(out.end(), count, count + 4);
    for (const std::string& e : entries) PutString(out, e);
    return out;
}

bool LFlacPictureParse(LBytes b, LTagPicture& p) {
    size_t pos = 0;
    auto u32 = [&](uint32_t& v) {
        if (b.size() - pos < 4) return false;
        v = LoadBE32(b.data() + pos);
        pos += 4;
        return true;
    };
    uint32_t type, len;
    if (!u32(type) || !u32(len) || len > b.size() - pos) return false;
    p.type = uint8_t(type);
    p.mime = LTextFromLatin1(b.subspan(pos, len));
    pos += len;
    if (!u32(len) || len > b.size() - pos) return false;
    p.description = LTextFromUnknown(b.subspan(pos, len));
    pos += len;
    uint32_t skip;
    for (int i = 0; i < 4; ++i)
        if (!u32(skip)) return false;  // width, height, depth, colours
    if (!u32(len) || len > b.size() - pos || len > LTAG_MAX_PICTURE) return false;
    p.data.assign(b.begin() + long(pos), b.begin() + long(pos + len));
    return true;
}

std::vector<uint8_t> LFlacPictureBuild(const LTagPicture& p) {
    std::vector<uint8_t> out;
    const std::string mime = LTextToLatin1(p.mime);
    PutBE32(out, p.type);
    PutBE32(out, uint32_t(mime.size()));
    out.insert(out.end(), mime.begin(), mime.end());
    PutBE32(out, uint32_t(p.description.size()));
    out.insert(out.end(), p.description.begin(), p.description.end());
    for (int i = 0; i < 4; ++i) PutBE32(out, 0);  // dimensions unknown: readers look at the data
    PutBE32(out, uint32_t(p.data.size()));
    out.insert(out.end(), p.data.begin(), p.data.end());
    return out;
}
