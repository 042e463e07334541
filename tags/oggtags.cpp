// Ogg files (Vorbis, Opus, FLAC): the comment packet read, and rewritten with the header pages
// laid out anew, the later pages renumbered and their checksums recomputed.
#include <algorithm>
#include <cstring>

#include "support/byteorder.h"
#include "support/file.h"
#include "tags/tagfile.h"
#include "tags/vorbiscomment.h"

namespace {

constexpr size_t kPageHeader = 27;
constexpr size_t kMaxPage = kPageHeader + 255 + 255 * 255;

struct CrcTable {
    uint32_t v[256];
    constexpr CrcTable() : v() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k) r = r & 0x80000000u ? r << 1 ^ 0x04C11DB7u : r << 1;
            v[i] = r;
        }
    }
};
constexpr CrcTable kCrc;

uint32_t PageCrc(const uint8_t* page, size_t n) {
    uint32_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = i >= 22 && i < 26 ? 0 : page[i];
        crc = crc << 8 ^ kCrc.v[(crc >> 24 ^ b) & 0xFF];
    }
    return crc;
}

struct Page {
    int64_t pos = 0;
    uint8_t flags = 0;
    uint32_t serial = 0, seq = 0;
    uint8_t segments = 0;
    uint8_t lacing[255] = {};
    size_t header = 0, body = 0;
    size_t Size() const { return header + body; }
};

bool ReadPage(LByteSource& bytes, int64_t pos, Page& p) {
    uint8_t h[kPageHeader];
    if (!bytes.ReadAt(pos, h, sizeof h) || std::memcmp(h, "OggS", 4) != 0 || h[4] != 0)
        return false;
    p.pos = pos;
    p.flags = h[5];
    p.serial = LoadLE32(h + 14);
    p.seq = LoadLE32(h + 18);
    p.segments = h[26];
    if (!bytes.ReadAt(pos + int64_t(kPageHeader), p.lacing, p.segments)) return false;
    p.header = kPageHeader + p.segments;
    p.body = 0;
    for (int i = 0; i < p.segments; ++i) p.body += p.lacing[i];
    return true;
}

enum class Codec { Unknown, Vorbis, Opus, Flac };

// The header packets of the first logical stream and where their pages lie.
struct Headers {
    Codec codec = Codec::Unknown;
    std::vector<std::vector<uint8_t>> packets;
    uint32_t serial = 0;
    int64_t secondPage = -1;  // where the page after the first begins
    int64_t end = 0;          // where the page that ends the last header packet ends
    uint32_t pages = 0;       // header pages after the first
    bool clean = true;        // the header pages hold nothing but the header packets
};

size_t HeaderCount(Codec c) {
    return c == Codec::Vorbis ? 3 : 2;
}

bool ReadHeaders(LByteSource& bytes, Headers& h) {
    int64_t pos = 0;
    std::vector<uint8_t> current, body;
    size_t total = 0;
    for (int pageNo = 0;; ++pageNo) {
        Page p;
        if (!ReadPage(bytes, pos, p)) return false;
        if (pageNo == 0) {
            if (!(p.flags & 0x02)) return false;
            h.serial = p.serial;
        }
        if (pageNo == 1) h.secondPage = pos;
        if (!LReadBlock(bytes, pos + int64_t(p.header), p.body, body)) return false;
        pos += int64_t(p.Size());
        if (p.serial != h.serial) {
            h.clean = false;
            continue;
        }
        if (pageNo > 0) ++h.pages;
        size_t at = 0;
        for (int i = 0; i < p.segments; ++i) {
            if (h.codec != Codec::Unknown && h.packets.size() >= HeaderCount(h.codec)) {
                h.clean = false;  // audio shares the last header page
                break;
            }
            current.insert(current.end(), body.begin() + long(at),
                           body.begin() + long(at + p.lacing[i]));
            at += p.lacing[i];
            total += p.lacing[i];
            if (total > LTAG_MAX_BLOCK) return false;
            if (p.lacing[i] == 255) continue;
            if (h.packets.empty()) {
                const std::string_view start(reinterpret_cast<const char*>(current.data()),
                                             current.size());
                h.codec = start.starts_with("\x01vorbis") ? Codec::Vorbis
                          : start.starts_with("OpusHead") ? Codec::Opus
                          : start.starts_with(
                                "\x7F"
                                "FLAC")
                              ? Codec::Flac
                              : Codec::Unknown;
                if (h.codec == Codec::Unknown) return false;
                // The first page holds the first packet alone.
                if (i + 1 != p.segments) h.clean = false;
            }
            h.packets.push_back(std::move(current));
            current.clear();
        }
        if (h.packets.size() >= HeaderCount(h.codec)) {
            h.end = pos;
            return true;
        }
    }
}

// The comment body inside the comment packet, and the packet's framing around it.
bool CommentBody(const Headers& h, LBytes& body) {
    const std::vector<uint8_t>& c = h.packets[1];
    switch (h.codec) {
        case Codec::Vorbis:
            if (c.size() < 7 || std::memcmp(c.data(), "\x03vorbis", 7) != 0) return false;
            body = LBytes(c).subspan(7);
            return true;
        case Codec::Opus:
            if (c.size() < 8 || std::memcmp(c.data(), "OpusTags", 8) != 0) return false;
            body = LBytes(c).subspan(8);
            return true;
        case Codec::Flac:
            if (c.size() < 4 || (c[0] & 0x7F) != 4) return false;
            body = LBytes(c).subspan(4);
            return true;
        default:
            return false;
    }
}

// Lays packets into pages numbered from seq on, each packet starting where the last ended;
// count receives the number of pages.
void MakePages(const std::vector<const std::vector<uint8_t>*>& packets, uint32_t serial,
               uint32_t seq, std::vector<uint8_t>& out, uint32_t& count) {
    count = 0;
    size_t packet = 0, at = 0;
    bool continued = false;
    while (packet < packets.size()) {
        uint8_t lacing[255];
        int segments = 0;
        std::vector<uint8_t> body;
        bool ended = false;
        const bool startsContinued = continued;
        while (segments < 255 && packet < packets.size()) {
            const std::vector<uint8_t>& p = *packets[packet];
            const size_t n = std::min<size_t>(255, p.size() - at);
            lacing[segments++] = uint8_t(n);
            body.insert(body.end(), p.begin() + long(at), p.begin() + long(at + n));
            at += n;
            if (n < 255) {
                ++packet;
                at = 0;
                ended = true;
                continued = false;
            } else {
                continued = true;
            }
        }
        uint8_t h[kPageHeader] = {'O', 'g', 'g', 'S', 0};
        h[5] = startsContinued ? 1 : 0;
        StoreLE64(h + 6, ended ? 0 : ~uint64_t(0));
        StoreLE32(h + 14, serial);
        StoreLE32(h + 18, seq + count);
        h[26] = uint8_t(segments);
        const size_t start = out.size();
        out.insert(out.end(), h, h + kPageHeader);
        out.insert(out.end(), lacing, lacing + segments);
        out.insert(out.end(), body.begin(), body.end());
        StoreLE32(out.data() + start + 22, PageCrc(out.data() + start, out.size() - start));
        ++count;
    }
}

}  // namespace

bool LReadOggTags(LByteSource& bytes, LAudioTagData& tags) {
    Headers h;
    LBytes body;
    return ReadHeaders(bytes, h) && CommentBody(h, body) && LVorbisCommentParse(body, tags) &&
           !tags.Empty();
}

bool LWriteOggTags(LFile& file, const LAudioTagData& tags) {
    LFileBytes bytes(file);
    Headers h;
    LBytes body;
    if (!ReadHeaders(bytes, h) || !h.clean || h.codec == Codec::Flac || !CommentBody(h, body))
        return false;
    std::string vendor;
    LAudioTagData ignored;
    if (!LVorbisCommentParse(body, ignored, &vendor)) vendor = "Tamber";
    const std::string magic = h.codec == Codec::Vorbis ? "\x03vorbis" : "OpusTags";
    std::vector<uint8_t> comment(magic.begin(), magic.end());
    const std::vector<uint8_t> built = LVorbisCommentBuild(tags, vendor, true);
    comment.insert(comment.end(), built.begin(), built.end());
    if (h.codec == Codec::Vorbis) comment.push_back(1);  // the framing bit
    std::vector<const std::vector<uint8_t>*> packets = {&comment};
    for (size_t i = 2; i < h.packets.size(); ++i) packets.push_back(&h.packets[i]);
    std::vector<uint8_t> pages;
    uint32_t count = 0;
    MakePages(packets, h.serial, 1, pages, count);
    if (!LSpliceFile(file, h.secondPage, h.end - h.secondPage, pages)) return false;
    if (count == h.pages) return true;
    // The later pages of the stream take their new numbers.
    const uint32_t shift = count - h.pages;
    std::vector<uint8_t> page(kMaxPage);
    for (int64_t pos = h.secondPage + int64_t(pages.size());;) {
        Page p;
        if (!ReadPage(bytes, pos, p)) return pos == bytes.Size();
        if (p.serial == h.serial) {
            if (!bytes.ReadAt(pos, page.data(), p.Size())) return false;
            StoreLE32(page.data() + 18, p.seq + shift);
            StoreLE32(page.data() + 22, PageCrc(page.data(), p.Size()));
            if (!file.Seek(pos + 18) || file.Write(page.data() + 18, 8) != 8) return false;
        }
        pos += int64_t(p.Size());
    }
}
