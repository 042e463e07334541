// Reading ID3v2.2, 2.3 and 2.4 tags: unsynchronisation, extended headers, footers, text in
// Latin-1, UTF-16 and UTF-8, pictures.
#include <cstdlib>
#include <cstring>

#include "support/byteorder.h"
#include "tags/id3v2.h"
#include "tags/tagnames.h"

namespace {

uint32_t SyncSafe(const uint8_t* p) {
    return uint32_t(p[0] & 0x7F) << 21 | uint32_t(p[1] & 0x7F) << 14 | uint32_t(p[2] & 0x7F) << 7 |
           uint32_t(p[3] & 0x7F);
}

// Undoes unsynchronisation: each 0xFF 0x00 pair loses its zero.
std::vector<uint8_t> Resync(LBytes in) {
    std::vector<uint8_t> out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        out.push_back(in[i]);
        if (in[i] == 0xFF && i + 1 < in.size() && in[i + 1] == 0) ++i;
    }
    return out;
}

// Version 2.2 frame ids and the later ids they became.
constexpr const char* kV22Ids[][2] = {
    {"TT2", "TIT2"}, {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TAL", "TALB"}, {"TCO", "TCON"},
    {"TCM", "TCOM"}, {"TBP", "TBPM"}, {"TCR", "TCOP"}, {"TPB", "TPUB"}, {"TRC", "TSRC"},
    {"TEN", "TENC"}, {"TT3", "TIT3"}, {"TT1", "TIT1"}, {"TP3", "TPE3"}, {"TXT", "TEXT"},
    {"TP4", "TPE4"}, {"TLA", "TLAN"}, {"TRK", "TRCK"}, {"TPA", "TPOS"}, {"TYE", "TYER"},
    {"TDA", "TDAT"}, {"TOR", "TORY"}, {"COM", "COMM"}, {"ULT", "USLT"}, {"TXX", "TXXX"},
    {"PIC", "APIC"}, {"UFI", "UFID"}};

// Where the text of the given encoding ends (its terminator excluded) and where what follows
// begins.
void SplitAtTerminator(LBytes data, uint8_t encoding, LBytes& text, LBytes& rest) {
    const bool wide = encoding == 1 || encoding == 2;
    size_t i = 0;
    if (wide) {
        while (i + 1 < data.size() && (data[i] || data[i + 1])) i += 2;
        text = data.first(std::min(i, data.size()));
        rest = i + 2 <= data.size() ? data.subspan(i + 2) : LBytes();
    } else {
        while (i < data.size() && data[i]) ++i;
        text = data.first(i);
        rest = i + 1 <= data.size() ? data.subspan(i + 1) : LBytes();
    }
}

std::string Decode(uint8_t encoding, LBytes text) {
    std::string s;
    switch (encoding) {
        case 0:
            s = LTextFromLatin1(text);
            break;
        case 1:
            s = LTextFromUtf16(text, false);
            break;
        case 2:
            s = LTextFromUtf16(text, true);
            break;
        default:
            s = LTextFromUnknown(text);
            break;
    }
    // Several values (version 2.4) are separated by zeros; trailing zeros end the text.
    while (!s.empty() && s.back() == '\0') s.pop_back();
    for (size_t at; (at = s.find('\0')) != std::string::npos;) s.replace(at, 1, "; ");
    return LTextCut(s, LTAG_MAX_VALUE);
}

// "(17)", "17" or "(17)Rock" as a genre name.
std::string GenreText(const std::string& s) {
    size_t i = 0;
    if (s.size() > 2 && s[0] == '(' && s[1] >= '0' && s[1] <= '9') {
        const size_t close = s.find(')');
        if (close != std::string::npos) {
            if (close + 1 < s.size()) return s.substr(close + 1);
            return LTagGenreName(unsigned(std::atoi(s.c_str() + 1)));
        }
    }
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == s.size() && i > 0 && i < 4) return LTagGenreName(unsigned(std::atoi(s.c_str())));
    return s;
}

class FrameReader {
  public:
    explicit FrameReader(LAudioTagData& tags) : tags_(tags) {}

    void Frame(const char* id, LBytes data, bool v22) {
        if (data.empty()) return;
        if (id[0] == 'T' && std::strcmp(id, "TXXX") != 0) return Text(id, data);
        const uint8_t enc = data[0];
        LBytes first, rest;
        if (std::strcmp(id, "TXXX") == 0) {
            SplitAtTerminator(data.subspan(1), enc, first, rest);
            const std::string desc = Decode(enc, first);
            if (!desc.empty()) tags_.Set(LTagNameOfDescription(desc), Decode(enc, rest));
        } else if (std::strcmp(id, "COMM") == 0 || std::strcmp(id, "USLT") == 0) {
            if (data.size() < 4) return;
            SplitAtTerminator(data.subspan(4), enc, first, rest);
            // A described comment is another program's note (iTunNORM and the like): taken
            // only while there is no plain one.
            const char* name = id[0] == 'U' ? "LYRICS" : "COMMENT";
            const std::string desc = Decode(enc, first);
            if (desc.empty() || (!*tags_.Get(name) && desc.compare(0, 4, "iTun") != 0))
                tags_.Set(name, Decode(enc, rest));
        } else if (std::strcmp(id, "APIC") == 0) {
            Picture(data, v22);
        } else if (std::strcmp(id, "UFID") == 0) {
            SplitAtTerminator(data, 0, first, rest);
            if (Decode(0, first) == "http://musicbrainz.org")
                tags_.Set("MUSICBRAINZ_TRACKID", LTextFromUnknown(rest));
        }
    }

    void Finish() {
        if (!year_.empty() && !*tags_.Get("DATE")) {
            std::string date = year_;
            if (date.size() == 4 && dayMonth_.size() == 4)
                date += "-" + dayMonth_.substr(2, 2) + "-" + dayMonth_.substr(0, 2);
            tags_.Set("DATE", date);
        }
    }

  private:
    void Text(const char* id, LBytes data) {
        const std::string value = Decode(data[0], data.subspan(1));
        if (std::strcmp(id, "TRCK") == 0)
            LTagSetNumberPair(tags_, "TRACKNUMBER", "TRACKTOTAL", value);
        else if (std::strcmp(id, "TPOS") == 0)
            LTagSetNumberPair(tags_, "DISCNUMBER", "DISCTOTAL", value);
        else if (std::strcmp(id, "TYER") == 0)
            year_ = value;
        else if (std::strcmp(id, "TDAT") == 0)
            dayMonth_ = value;
        else if (std::strcmp(id, "TCON") == 0)
            tags_.Set("GENRE", GenreText(value));
        else if (const char* name = LTagNameOfId3Frame(id))
            tags_.Set(name, value);
    }

    void Picture(LBytes data, bool v22) {
        LTagPicture p;
        const uint8_t enc = data[0];
        LBytes first, rest;
        if (v22) {
            if (data.size() < 5) return;
            const std::string format(data.begin() + 1, data.begin() + 4);
            p.mime = format == "PNG" ? "image/png" : format == "JPG" ? "image/jpeg" : format;
            rest = data.subspan(4);
        } else {
            SplitAtTerminator(data.subspan(1), 0, first, rest);
            p.mime = LTextFromLatin1(first);
        }
        if (rest.empty()) return;
        p.type = rest[0];
        SplitAtTerminator(rest.subspan(1), enc, first, rest);
        p.description = Decode(enc, first);
        if (rest.size() > LTAG_MAX_PICTURE) return;
        p.data.assign(rest.begin(), rest.end());
        tags_.AddPicture(std::move(p));
    }

    LAudioTagData& tags_;
    std::string year_, dayMonth_;
};

}  // namespace

size_t LId3v2Size(LBytes b) {
    if (b.size() < LID3V2_HEADER || std::memcmp(b.data(), "ID3", 3) != 0) return 0;
    if (b[3] < 2 || b[3] > 4 || b[4] == 0xFF || ((b[6] | b[7] | b[8] | b[9]) & 0x80)) return 0;
    const bool footer = b[3] == 4 && (b[5] & 0x10);
    return LID3V2_HEADER + SyncSafe(b.data() + 6) + (footer ? 10 : 0);
}

bool LId3v2Parse(LBytes tag, LAudioTagData& tags) {
    const size_t whole = LId3v2Size(tag);
    if (!whole || whole > tag.size()) return false;
    const uint8_t version = tag[3], flags = tag[5];
    if (version == 2 && (flags & 0x40)) return false;  // compressed: no scheme was ever defined
    LBytes body = tag.subspan(LID3V2_HEADER, SyncSafe(tag.data() + 6));
    std::vector<uint8_t> resynced;
    if ((flags & 0x80) && version < 4) {
        resynced = Resync(body);
        body = resynced;
    }
    size_t pos = 0;
    if ((flags & 0x40) && version >= 3) {
        if (body.size() < 4) return false;
        pos = version == 3 ? 4 + size_t(LoadBE32(body.data())) : size_t(SyncSafe(body.data()));
        if (pos > body.size()) return false;
    }
    const size_t head = version == 2 ? 6 : 10;
    FrameReader reader(tags);
    size_t frames = 0;
    while (pos + head <= body.size() && body[pos] != 0 && ++frames <= LTAG_MAX_FIELDS * 2) {
        const uint8_t* h = body.data() + pos;
        char id[5] = {0};
        uint64_t size;
        uint8_t format = 0;
        if (version == 2) {
            std::memcpy(id, h, 3);
            size = uint32_t(h[3]) << 16 | uint32_t(h[4]) << 8 | h[5];
            for (const auto& m : kV22Ids)
                if (std::memcmp(id, m[0], 3) == 0) std::memcpy(id, m[1], 4);
        } else {
            std::memcpy(id, h, 4);
            // Some writers put plain sizes into version 2.4 tags: those have high bits set.
            size = version == 4 && !((h[4] | h[5] | h[6] | h[7]) & 0x80) ? SyncSafe(h + 4)
                                                                         : LoadBE32(h + 4);
            format = h[9];
        }
        if (size > body.size() - pos - head) break;
        LBytes data = body.subspan(pos + head, size_t(size));
        pos += head + size_t(size);
        std::vector<uint8_t> own;
        if (version == 3) {
            if (format & 0xC0) continue;  // compressed or encrypted
            if (format & 0x20) data = data.subspan(std::min<size_t>(1, data.size()));
        } else if (version == 4) {
            if (format & 0x0C) continue;
            if (format & 0x40) data = data.subspan(std::min<size_t>(1, data.size()));
            if (format & 0x01) data = data.subspan(std::min<size_t>(4, data.size()));
            if ((format & 0x02) || (flags & 0x80)) {
                own = Resync(data);
                data = own;
            }
        }
        reader.Frame(id, data, version == 2);
    }
    reader.Finish();
    return true;
}
