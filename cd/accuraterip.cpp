// AccurateRip disc ids, database replies, track checksums and their comparison.
#include "cd/accuraterip.h"

#include <cstdio>

#include "cd/cddb.h"
#include "cd/toc.h"

namespace {

// The first track's checksum starts this many frames in, the last track's ends this many
// frames before its end: the drive's read offset can reach that far.
constexpr uint32_t kEdgeFrames = 5 * LCD_SECTOR_FRAMES;
constexpr size_t kHeadBytes = 13;
constexpr size_t kEntryBytes = 9;

uint32_t LE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string Hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

}  // namespace

LARDiscIds LARComputeDiscIds(const uint32_t* starts, int count, uint32_t leadOut) {
    LARDiscIds ids;
    ids.tracks = count;
    for (int i = 0; i < count; ++i) {
        ids.id1 += starts[i];
        ids.id2 += (starts[i] > 0 ? starts[i] : 1) * uint32_t(i + 1);
    }
    ids.id1 += leadOut;
    ids.id2 += (leadOut > 0 ? leadOut : 1) * uint32_t(count + 1);
    ids.cddb = CDDBDiscId(starts, count, leadOut);
    return ids;
}

std::string LARDatabasePath(const LARDiscIds& ids) {
    char path[128];
    std::snprintf(path, sizeof path, "/accuraterip/%x/%x/%x/dBAR-%03d-%08x-%08x-%08x.bin",
                  unsigned(ids.id1 & 0xF), unsigned(ids.id1 >> 4 & 0xF),
                  unsigned(ids.id1 >> 8 & 0xF), ids.tracks, unsigned(ids.id1), unsigned(ids.id2),
                  unsigned(ids.cddb));
    return path;
}

bool LARParseReply(const uint8_t* bytes, size_t size, const LARDiscIds& disc,
                   std::vector<LARPressing>& pressings) {
    pressings.clear();
    if (!bytes || size == 0 || size > kARMaxReplyBytes) return false;
    if (disc.tracks < 1 || disc.tracks > 99) return false;
    const size_t record = kHeadBytes + kEntryBytes * size_t(disc.tracks);
    if (size % record != 0) return false;
    pressings.reserve(size / record);
    for (size_t at = 0; at < size; at += record) {
        const uint8_t* p = bytes + at;
        LARPressing pressing;
        pressing.ids.tracks = p[0];
        pressing.ids.id1 = LE32(p + 1);
        pressing.ids.id2 = LE32(p + 5);
        pressing.ids.cddb = LE32(p + 9);
        if (!(pressing.ids == disc)) {
            pressings.clear();
            return false;
        }
        pressing.tracks.resize(size_t(disc.tracks));
        for (int t = 0; t < disc.tracks; ++t) {
            const uint8_t* e = p + kHeadBytes + kEntryBytes * size_t(t);
            pressing.tracks[size_t(t)] = {e[0], LE32(e + 1), LE32(e + 5)};
        }
        pressings.push_back(std::move(pressing));
    }
    return true;
}

void LARChecksum::Start(int track, int count, uint32_t frames) {
    frames_ = frames;
    position_ = 0;
    v1_ = v2_ = 0;
    first_ = track == 1 ? kEdgeFrames : 1;
    last_ = track == count ? (frames > kEdgeFrames ? frames - kEdgeFrames : 0) : frames;
}

inline void LARChecksum::Word(uint32_t word) {
    const uint32_t at = ++position_;
    if (at < first_ || at > last_) return;
    const uint64_t product = uint64_t(word) * at;
    v1_ += uint32_t(product);
    v2_ += uint32_t(product) + uint32_t(product >> 32);
}

void LARChecksum::Add(const int32_t* samples, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
        // Back to the 16-bit values: left in the low half of the word, right in the high half.
        const uint32_t left = uint16_t(int16_t(samples[2 * i] >> 4));
        const uint32_t right = uint16_t(int16_t(samples[2 * i + 1] >> 4));
        Word(left | right << 16);
    }
}

void LARChecksum::AddPCM16(const int16_t* samples, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i)
        Word(uint32_t(uint16_t(samples[2 * i])) | uint32_t(uint16_t(samples[2 * i + 1])) << 16);
}

void LARChecksum::AddWords(const uint32_t* words, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) Word(words[i]);
}

LARTrackResult LARCompare(const std::vector<LARPressing>& pressings, int track, uint32_t v1,
                          uint32_t v2, bool readOk) {
    LARTrackResult result;
    result.v1 = v1;
    result.v2 = v2;
    bool known = false;
    int best = -1;
    for (uint32_t wanted : {v2, v1}) {
        for (const LARPressing& p : pressings) {
            if (track < 1 || size_t(track) > p.tracks.size()) continue;
            known = true;
            const LARTrackEntry& e = p.tracks[size_t(track - 1)];
            if (e.crc == wanted && e.confidence > best) {
                best = e.confidence;
                result.matched = wanted;
            }
        }
        if (best >= 0) break;
    }
    if (!known) return result;
    result.verdict = best >= 0 && readOk ? LARVerdict::Accurate : LARVerdict::NotAccurate;
    if (result.verdict == LARVerdict::Accurate) result.confidence = best;
    return result;
}

std::string LARResultText(const LARTrackResult& r) {
    const std::string sums = "[v1 " + Hex8(r.v1) + ", v2 " + Hex8(r.v2) + "]";
    switch (r.verdict) {
        case LARVerdict::Accurate:
            return "accurate (confidence " + std::to_string(r.confidence) + ") [" +
                   Hex8(r.matched) + "]";
        case LARVerdict::NotAccurate:
            return "not accurate " + sums;
        case LARVerdict::NotInDatabase:
            break;
    }
    return "not in database " + sums;
}

std::string LARReportLine(int track, const LARTrackResult& result) {
    return "AccurateRip: track " + std::to_string(track) + " " + LARResultText(result);
}
