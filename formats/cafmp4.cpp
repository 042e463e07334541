// ALAC in CAF into MP4: the packet table, the decoder configuration, the MP4 boxes (ISO base
// media file format with Apple's ALAC sample entry) and the copy of the packets.
#include "formats/cafmp4.h"

#include <cmath>
#include <cstring>

#include "support/byteorder.h"
#include "support/file.h"
#include "support/fileops.h"
#include "support/trace.h"

namespace {

// A packet table entry: big-endian base-128 digits, the high bit set on all but the last. At
// most five digits (32 bits); false when cut short or too long.
bool ReadNumber(const uint8_t* body, size_t size, size_t& at, uint32_t& out) {
    uint64_t v = 0;
    for (int digits = 0; digits < 5 && at < size; ++digits) {
        const uint8_t b = body[at++];
        v = v << 7 | (b & 0x7F);
        if (!(b & 0x80)) {
            if (v > 0xFFFFFFFFull) return false;
            out = uint32_t(v);
            return true;
        }
    }
    return false;
}

int64_t LoadBE64s(const uint8_t* p) {
    return int64_t(uint64_t(LoadBE32(p)) << 32 | LoadBE32(p + 4));
}

// Box writing: big-endian fields, each box's size filled in when it ends.
class Boxes {
  public:
    explicit Boxes(std::vector<uint8_t>& out) : out_(out) {}
    size_t Open(const char* type) {
        const size_t at = out_.size();
        U32(0);
        Bytes(type, 4);
        return at;
    }
    size_t OpenFull(const char* type, uint32_t flags = 0) {
        const size_t at = Open(type);
        U32(flags & 0xFFFFFF);  // version 0
        return at;
    }
    void Close(size_t at) { StoreBE32(out_.data() + at, uint32_t(out_.size() - at)); }
    void U16(uint32_t v) {
        uint8_t b[2];
        StoreBE16(b, v);
        Bytes(b, 2);
    }
    void U32(uint32_t v) {
        uint8_t b[4];
        StoreBE32(b, v);
        Bytes(b, 4);
    }
    void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
    void Bytes(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    // The unity transformation matrix of the movie and track headers.
    void Matrix() {
        for (uint32_t v : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u}) U32(v);
    }

  private:
    std::vector<uint8_t>& out_;
};

// Runs of equal frame counts, as the time-to-sample table lists them.
void TimeToSample(Boxes& b, const LCafPackets& p) {
    std::vector<std::pair<uint32_t, uint32_t>> runs;  // count, frames
    const size_t n = p.bytes.size();
    for (size_t i = 0; i < n; ++i) {
        const uint32_t frames = p.framesPerPacket ? p.framesPerPacket : p.frames[i];
        if (!runs.empty() && runs.back().second == frames)
            ++runs.back().first;
        else
            runs.emplace_back(1, frames);
    }
    const size_t stts = b.OpenFull("stts");
    b.U32(uint32_t(runs.size()));
    for (auto [count, frames] : runs) b.U32(count), b.U32(frames);
    b.Close(stts);
}

uint64_t TotalFrames(const LCafPackets& p) {
    uint64_t total = 0;
    for (size_t i = 0; i < p.bytes.size(); ++i)
        total += p.framesPerPacket ? p.framesPerPacket : p.frames[i];
    return total;
}

}  // namespace

bool LCafParsePackets(const uint8_t* body, size_t size, LCafPackets& p) {
    if (size < 24) return false;
    const int64_t packets = LoadBE64s(body);
    p.validFrames = LoadBE64s(body + 8);
    p.primingFrames = LoadBE32(body + 16);
    // Each entry takes one byte at least: a count beyond the body is a damaged table.
    if (packets < 1 || uint64_t(packets) > size - 24 || p.validFrames < 0) return false;
    p.bytes.assign(size_t(packets), 0);
    p.frames.assign(p.framesPerPacket ? 0 : size_t(packets), 0);
    p.dataBytes = 0;
    size_t at = 24;
    for (size_t i = 0; i < size_t(packets); ++i) {
        if (!ReadNumber(body, size, at, p.bytes[i]) || p.bytes[i] == 0) return false;
        if (!p.framesPerPacket && (!ReadNumber(body, size, at, p.frames[i]) || !p.frames[i]))
            return false;
        p.dataBytes += p.bytes[i];
        if (p.dataBytes > kCafMp4MaxDataBytes) return false;
    }
    return true;
}

const uint8_t* LCafAlacConfig(const uint8_t* cookie, size_t size) {
    if (size == 24) return cookie;
    // 'frma' naming 'alac', then the 'alac' atom: size, type, version and flags, the config.
    if (size >= 12 + 36 && std::memcmp(cookie + 4, "frma", 4) == 0 && LoadBE32(cookie) == 12 &&
        std::memcmp(cookie + 16, "alac", 4) == 0 && LoadBE32(cookie + 12) >= 36)
        return cookie + 12 + 12;
    return nullptr;
}

void LCafMp4Boxes(const LCafPackets& p, const uint8_t* alacConfig, std::vector<uint8_t>& head,
                  std::vector<uint8_t>& tail) {
    head.clear();
    tail.clear();
    Boxes h(head);
    const size_t ftyp = h.Open("ftyp");
    h.Bytes("M4A ", 4);
    h.U32(0);
    h.Bytes("M4A mp42isom", 12);
    h.Close(ftyp);
    h.U32(uint32_t(8 + p.dataBytes));
    h.Bytes("mdat", 4);
    const uint32_t firstPacket = uint32_t(head.size());

    const uint64_t total = TotalFrames(p);
    const uint32_t duration = uint32_t(total > 0xFFFFFFFFull ? 0xFFFFFFFFull : total);
    // What is played: the valid frames after the priming ones, where the table says so.
    const bool edit = p.validFrames > 0 && uint64_t(p.validFrames) + p.primingFrames <= total &&
                      (p.primingFrames || uint64_t(p.validFrames) < total);
    const uint32_t played = edit ? uint32_t(p.validFrames) : duration;
    Boxes b(tail);
    const size_t moov = b.Open("moov");
    const size_t mvhd = b.OpenFull("mvhd");
    b.U32(0), b.U32(0), b.U32(p.sampleRate), b.U32(played);
    b.U32(0x10000), b.U16(0x100), b.Zeros(10);
    b.Matrix();
    b.Zeros(24);
    b.U32(2);  // the next track id
    b.Close(mvhd);
    const size_t trak = b.Open("trak");
    const size_t tkhd = b.OpenFull("tkhd", 7);  // enabled, in movie, in preview
    b.U32(0), b.U32(0), b.U32(1), b.U32(0), b.U32(played);
    b.Zeros(8), b.U16(0), b.U16(0), b.U16(0x100), b.U16(0);
    b.Matrix();
    b.U32(0), b.U32(0);
    b.Close(tkhd);
    if (edit) {
        const size_t edts = b.Open("edts");
        const size_t elst = b.OpenFull("elst");
        b.U32(1), b.U32(played), b.U32(p.primingFrames), b.U32(0x10000);
        b.Close(elst);
        b.Close(edts);
    }
    const size_t mdia = b.Open("mdia");
    const size_t mdhd = b.OpenFull("mdhd");
    b.U32(0), b.U32(0), b.U32(p.sampleRate), b.U32(duration);
    b.U16(0x55C4), b.U16(0);  // language "und"
    b.Close(mdhd);
    const size_t hdlr = b.OpenFull("hdlr");
    b.U32(0), b.Bytes("soun", 4), b.Zeros(12), b.Zeros(1);
    b.Close(hdlr);
    const size_t minf = b.Open("minf");
    const size_t smhd = b.OpenFull("smhd");
    b.U32(0);
    b.Close(smhd);
    const size_t dinf = b.Open("dinf");
    const size_t dref = b.OpenFull("dref");
    b.U32(1);
    b.Close(b.OpenFull("url ", 1));  // the data is in this file
    b.Close(dref);
    b.Close(dinf);
    const size_t stbl = b.Open("stbl");
    const size_t stsd = b.OpenFull("stsd");
    b.U32(1);
    const size_t entry = b.Open("alac");
    b.Zeros(6), b.U16(1), b.Zeros(8);
    b.U16(p.channels), b.U16(16), b.U16(0), b.U16(0);
    b.U32(p.sampleRate > 0xFFFF ? 0 : p.sampleRate << 16);
    const size_t config = b.OpenFull("alac");
    b.Bytes(alacConfig, 24);
    b.Close(config);
    b.Close(entry);
    b.Close(stsd);
    TimeToSample(b, p);
    const size_t stsc = b.OpenFull("stsc");
    b.U32(1), b.U32(1), b.U32(uint32_t(p.bytes.size())), b.U32(1);  // one chunk of all
    b.Close(stsc);
    const size_t stsz = b.OpenFull("stsz");
    b.U32(0), b.U32(uint32_t(p.bytes.size()));
    for (uint32_t size : p.bytes) b.U32(size);
    b.Close(stsz);
    const size_t stco = b.OpenFull("stco");
    b.U32(1), b.U32(firstPacket);
    b.Close(stco);
    b.Close(stbl);
    b.Close(minf);
    b.Close(mdia);
    b.Close(trak);
    b.Close(moov);
}

namespace {

// The chunks the rewrap needs, found by walking the file: false for anything but ALAC.
struct CafLayout {
    LCafPackets packets;
    uint8_t config[24] = {};
    int64_t dataStart = -1;  // the first packet
};

bool ReadBody(LFile& f, int64_t size, size_t limit, std::vector<uint8_t>& body) {
    if (size < 0 || uint64_t(size) > limit) return false;
    body.resize(size_t(size));
    return size == 0 || f.Read(body.data(), int32_t(size)) == int32_t(size);
}

bool ReadLayout(LFile& f, CafLayout& c) {
    uint8_t head[12];
    if (f.Read(head, 8) != 8 || std::memcmp(head, "caff", 4) != 0 || LoadBE16(head + 4) != 1)
        return false;
    const int64_t fileSize = f.GetFileSizeBytes();
    std::vector<uint8_t> desc, cookie, table;
    int64_t dataSize = -1;
    // Until the packet table and the data are both known; the table may follow the data.
    while (table.empty() || c.dataStart < 0) {
        if (f.Read(head, 12) != 12) return false;
        const int64_t size = LoadBE64s(head + 4);
        const int64_t at = f.Tell();
        if (at < 0 || size < 0 || size > fileSize - at) return false;
        if (std::memcmp(head, "desc", 4) == 0) {
            if (!ReadBody(f, size, 64, desc)) return false;
        } else if (std::memcmp(head, "kuki", 4) == 0) {
            if (!ReadBody(f, size, 1 << 16, cookie)) return false;
        } else if (std::memcmp(head, "pakt", 4) == 0) {
            if (!ReadBody(f, size, kCafMaxPacketTableBytes, table) || table.empty()) return false;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (size < 4) return false;
            c.dataStart = at + 4;  // after the edit count
            dataSize = size - 4;
        }
        if (!f.Seek(at + size)) return false;
    }
    if (desc.size() < 32 || std::memcmp(desc.data() + 8, "alac", 4) != 0) return false;
    const uint8_t* config = LCafAlacConfig(cookie.data(), cookie.size());
    if (!config) return false;
    std::memcpy(c.config, config, 24);
    double rate;
    const uint64_t rateBits = uint64_t(LoadBE32(desc.data())) << 32 | LoadBE32(desc.data() + 4);
    std::memcpy(&rate, &rateBits, 8);
    LCafPackets& p = c.packets;
    p.framesPerPacket = LoadBE32(desc.data() + 20);
    p.channels = LoadBE32(desc.data() + 24);
    if (!(rate >= 1 && rate <= 384000) || p.channels < 1 || p.channels > 8) return false;
    p.sampleRate = uint32_t(std::lrint(rate));
    return LCafParsePackets(table.data(), table.size(), p) && p.dataBytes <= uint64_t(dataSize);
}

}  // namespace

bool LCafRewrapToMp4(const char* cafPath, const char* mp4Path) {
    LFile in;
    CafLayout c;
    if (!in.Open(cafPath) || !ReadLayout(in, c) || !in.Seek(c.dataStart)) {
        LTrace("LCafRewrapToMp4 not an ALAC CAF file that can be rewrapped");
        return false;
    }
    std::vector<uint8_t> head, tail;
    LCafMp4Boxes(c.packets, c.config, head, tail);
    LFile out;
    bool ok =
        out.Create(mp4Path) && out.Write(head.data(), int32_t(head.size())) == int32_t(head.size());
    static thread_local uint8_t block[1 << 16];
    for (uint64_t left = c.packets.dataBytes; ok && left;) {
        const int32_t n = int32_t(left < sizeof block ? left : sizeof block);
        ok = in.Read(block, n) == n && out.Write(block, n) == n;
        left -= uint64_t(n);
    }
    ok = ok && out.Write(tail.data(), int32_t(tail.size())) == int32_t(tail.size());
    out.Close();
    if (!ok) {
        LTrace("LCafRewrapToMp4 the MP4 file could not be written");
        LDeleteFile(mp4Path);
    }
    return ok;
}
