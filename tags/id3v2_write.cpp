// Building ID3v2.3 tags: text in Latin-1 where it fits, else UTF-16 with a byte order mark.
#include <algorithm>
#include <cstring>

#include "support/byteorder.h"
#include "tags/id3v2.h"
#include "tags/tagnames.h"

namespace {

// The largest tag body the 28-bit size can tell.
constexpr size_t kMaxBody = (size_t(1) << 28) - 1;

class FrameWriter {
  public:
    std::vector<uint8_t> body;

    void Text(const char* id, const std::string& value) {
        std::vector<uint8_t> data;
        data.push_back(Encoding(value));
        Append(data, value, data[0]);
        Frame(id, data);
    }
    // TXXX (description, value) and COMM/USLT (language, empty description, text).
    void Described(const char* id, const std::string& description, const std::string& value) {
        std::vector<uint8_t> data;
        const bool language = id[0] != 'T';
        data.push_back(Encoding(description + value));
        if (language) data.insert(data.end(), {'e', 'n', 'g'});
        Append(data, description, data[0]);
        Terminate(data, data[0]);
        Append(data, value, data[0]);
        Frame(id, data);
    }
    void Owner(const std::string& owner, const std::string& value) {
        std::vector<uint8_t> data(owner.begin(), owner.end());
        data.push_back(0);
        data.insert(data.end(), value.begin(), value.end());
        Frame("UFID", data);
    }
    bool Picture(const LTagPicture& p) {
        std::vector<uint8_t> data;
        data.push_back(Encoding(p.description));
        const std::string mime = LTextToLatin1(p.mime);
        data.insert(data.end(), mime.begin(), mime.end());
        data.push_back(0);
        data.push_back(p.type);
        Append(data, p.description, data[0]);
        Terminate(data, data[0]);
        if (body.size() + data.size() + p.data.size() + 10 > kMaxBody) return false;
        data.insert(data.end(), p.data.begin(), p.data.end());
        Frame("APIC", data);
        return true;
    }

  private:
    static uint8_t Encoding(const std::string& text) { return LTextFitsLatin1(text) ? 0 : 1; }
    static void Append(std::vector<uint8_t>& data, const std::string& text, uint8_t encoding) {
        if (encoding == 0) {
            const std::string latin = LTextToLatin1(text);
            data.insert(data.end(), latin.begin(), latin.end());
        } else {
            data.insert(data.end(), {0xFF, 0xFE});
            LTextAppendUtf16LE(data, text);
        }
    }
    static void Terminate(std::vector<uint8_t>& data, uint8_t encoding) {
        data.push_back(0);
        if (encoding == 1) data.push_back(0);
    }
    void Frame(const char* id, const std::vector<uint8_t>& data) {
        if (body.size() + data.size() + 10 > kMaxBody) return;
        uint8_t head[10] = {0};
        std::memcpy(head, id, 4);
        StoreBE32(head + 4, uint32_t(data.size()));
        body.insert(body.end(), head, head + 10);
        body.insert(body.end(), data.begin(), data.end());
    }
};

}  // namespace

std::vector<uint8_t> LId3v2Build(const LAudioTagData& tags, size_t padding) {
    FrameWriter w;
    const auto& items = tags.Items();
    // Oldest first, the order in which they were read.
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const auto& [name, value] = *it;
        if (value.empty() || name == "TRACKTOTAL" || name == "DISCTOTAL") continue;
        if (name == "TRACKNUMBER") {
            w.Text("TRCK", LTagNumberPair(tags, "TRACKNUMBER", "TRACKTOTAL"));
        } else if (name == "DISCNUMBER") {
            w.Text("TPOS", LTagNumberPair(tags, "DISCNUMBER", "DISCTOTAL"));
        } else if (name == "DATE") {
            // Version 2.3 keeps the year and the day apart ("DDMM").
            w.Text("TYER", value.substr(0, 4));
            if (value.size() >= 10 && value[4] == '-' && value[7] == '-')
                w.Text("TDAT", value.substr(8, 2) + value.substr(5, 2));
        } else if (name == "COMMENT") {
            w.Described("COMM", "", value);
        } else if (name == "LYRICS") {
            w.Described("USLT", "", value);
        } else if (name == "MUSICBRAINZ_TRACKID") {
            w.Owner("http://musicbrainz.org", value);
        } else if (const char* id = LTagId3FrameOfName(name)) {
            w.Text(id, value);
        } else {
            w.Described("TXXX", LTagDescriptionOfName(name), value);
        }
    }
    for (const LTagPicture& p : tags.Pictures()) w.Picture(p);
    padding = std::min(padding, kMaxBody - w.body.size());
    std::vector<uint8_t> tag(LID3V2_HEADER, 0);
    std::memcpy(tag.data(), "ID3\3\0\0", 6);
    const uint32_t size = uint32_t(w.body.size() + padding);
    for (int i = 0; i < 4; ++i) tag[6 + i] = uint8_t(size >> (21 - 7 * i) & 0x7F);
    tag.insert(tag.end(), w.body.begin(), w.body.end());
    tag.resize(tag.size() + padding, 0);
    return tag;
}
