// AccurateRip: the disc ids and the database file's path, the database reply (one record per
// pressing), the track checksums (v1 and v2) and how a ripped track compares with the records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The database's ids of a disc: two sums over the table of contents and the CDDB id.
struct LARDiscIds {
    int tracks = 0;
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t cddb = 0;
    bool operator==(const LARDiscIds&) const = default;
};

// From the track start addresses and the lead-out (LBA, as the table of contents gives them).
LARDiscIds LARComputeDiscIds(const uint32_t* starts, int count, uint32_t leadOut);
// "/accuraterip/a/b/c/dBAR-ttt-iiiiiiii-jjjjjjjj-kkkkkkkk.bin": the last three hexadecimal
// digits of id1 (last first), the track count, id1, id2 and the CDDB id.
std::string LARDatabasePath(const LARDiscIds& ids);

// One track of a pressing's record: how many rips agree, their checksum and the checksum of
// one sector that finds a drive's read offset.
struct LARTrackEntry {
    uint8_t confidence = 0;
    uint32_t crc = 0;
    uint32_t offsetCrc = 0;
};
struct LARPressing {
    LARDiscIds ids;
    std::vector<LARTrackEntry> tracks;
};

// A reply larger than this is no database file.
inline constexpr size_t kARMaxReplyBytes = 256 * 1024;

// Parses a database file: records of a 13-byte head (track count, id1, id2, CDDB id; little
// endian) and 9 bytes per track (confidence, checksum, offset checksum), one after another to
// the end. False, with no record kept, for an empty, cut, oversized or malformed reply, or one
// whose records are not all for this disc.
bool LARParseReply(const uint8_t* bytes, size_t size, const LARDiscIds& disc,
                   std::vector<LARPressing>& pressings);

// The checksums of one track, fed with its frames in order as the rip delivers them (internal
// samples: 16-bit values times 16, stereo). The first track of a disc leaves out its first five
// sectors but one frame, the last track its last five sectors.
class LARChecksum {
  public:
    // track from 1 of count; frames: the track's length.
    void Start(int track, int count, uint32_t frames);
    void Add(const int32_t* samples, int32_t frames);
    void AddPCM16(const int16_t* samples, int32_t frames);
    // Frames as checksum words: the left sample in the low half, the right in the high half.
    void AddWords(const uint32_t* words, int32_t frames);
    uint32_t V1() const { return v1_; }
    uint32_t V2() const { return v2_; }
    // Frames fed so far; a track whose count falls short of its length was not read whole.
    uint32_t Frames() const { return position_; }
    uint32_t Length() const { return frames_; }

  private:
    void Word(uint32_t word);

    uint32_t frames_ = 0, first_ = 1, last_ = 0;
    uint32_t position_ = 0;
    uint32_t v1_ = 0, v2_ = 0;
};

// How a track compares with the database.
enum class LARVerdict { Accurate, NotAccurate, NotInDatabase };
struct LARTrackResult {
    LARVerdict verdict = LARVerdict::NotInDatabase;
    int confidence = 0;    // of the record that matched
    uint32_t matched = 0;  // the checksum that matched (v2 preferred)
    uint32_t v1 = 0, v2 = 0;
};

// Compares track (from 1) with every pressing: a match of v2 first, then of v1, taking the
// record with the highest confidence. A track that was not read whole and right (readOk
// false) is never accurate. No records, or none that holds the track: not in the database.
LARTrackResult LARCompare(const std::vector<LARPressing>& pressings, int track, uint32_t v1,
                          uint32_t v2, bool readOk);

// The result as the per-track report line ends: "accurate (confidence C) [XXXXXXXX]",
// "not accurate [v1 XXXXXXXX, v2 XXXXXXXX]" or "not in database [v1 XXXXXXXX, v2 XXXXXXXX]".
std::string LARResultText(const LARTrackResult& result);
// The whole report line of a track (from 1): "AccurateRip: track N " and the result's text.
std::string LARReportLine(int track, const LARTrackResult& result);
