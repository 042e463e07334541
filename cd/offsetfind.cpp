// The read offset search: the track read once with a margin, its v1 checksum slid over every
// offset, the offset-finding checksum of sector 450 tried at every offset, and each candidate
// confirmed by the whole track's checksums.
#include "cd/offsetfind.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <tuple>

#include "cd/arlookup.h"
#include "cd/rip.h"
#include "cd/scsi.h"
#include "cd/toc.h"
#include "store/settingnames.h"
#include "support/trace.h"

namespace {

// The sector of a track whose frames alone give the offset-finding checksum.
constexpr uint32_t kOffsetSector = 450;
// The first track's checksum leaves out this many frames at its start, the last track's at its
// end (as LARChecksum does).
constexpr uint32_t kEdgeFrames = 5 * LCD_SECTOR_FRAMES;
// A track that matches at more offsets than this says nothing (silence, a pure tone).
constexpr size_t kMaxCandidates = 32;
// At most this many tracks are read, none longer than this (10 minutes: the read is kept whole).
constexpr int kTracksToRead = 2;
constexpr uint32_t kMaxTrackSectors = 10 * 60 * 75;

static_assert(kOffsetSearchBound % LCD_SECTOR_FRAMES == 0, "the margin is whole sectors");

// Keeps every frame as a checksum word in a buffer sized for the whole read (null when there is
// no memory for it).
class WordSink : public LSoundSinkBase {
  public:
    explicit WordSink(size_t frames)
        : LSoundSinkBase(44100, 2), words(new (std::nothrow) uint32_t[frames]), size(frames) {}

    int32_t Write(const int32_t* buffer, int32_t n) override {
        for (int32_t i = 0; i < n && words && filled < size; ++i, ++filled) {
            const uint32_t left = uint16_t(int16_t(buffer[2 * i] >> 4));
            const uint32_t right = uint16_t(int16_t(buffer[2 * i + 1] >> 4));
            words[filled] = left | right << 16;
        }
        sPosition += n;
        return n;
    }

    std::unique_ptr<uint32_t[]> words;
    size_t size = 0, filled = 0;
};

struct Tally {
    std::set<int> tracks;
    std::set<size_t> pressings;
    int confidence = 0;
};

bool Known(const LARTrackEntry& e) {
    return e.confidence > 0 && e.crc != 0;
}

}  // namespace

uint32_t LARSectorChecksum(const uint32_t* words) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < uint32_t(LCD_SECTOR_FRAMES); ++i) sum += words[i] * (i + 1);
    return sum;
}

std::vector<int> LARMatchingOffsets(const uint32_t* words, uint32_t frames, int bound, int track,
                                    int count, const LARTrackEntry& entry) {
    std::vector<int> found;
    // The frames the track's checksum takes, from 0, each weighted by its place from 1.
    const uint32_t lo = track == 1 ? kEdgeFrames - 1 : 0;
    const uint32_t end =
        track == count ? (frames > kEdgeFrames ? frames - kEdgeFrames : 0) : frames;
    if (bound < 0 || end <= lo || entry.crc == 0) return found;
    const uint32_t hi = end - 1;
    const size_t span = size_t(2 * bound) + 1;
    std::vector<bool> candidate(span, false);
    // The v1 sum at shift j (word j + i holds the track's frame i at offset j - bound), and the
    // plain sum of the words it weighs; moving one frame on adds the next word at the top weight
    // and takes every weight down by one.
    uint32_t weighted = 0, plain = 0;
    for (uint32_t i = lo; i <= hi; ++i) {
        weighted += words[i] * (i + 1);
        plain += words[i];
    }
    for (size_t j = 0;; ++j) {
        if (weighted == entry.crc) candidate[j] = true;
        if (j + 1 == span) break;
        const uint32_t in = words[hi + 1 + j], out = words[lo + j];
        weighted += in * (hi + 1) - out * lo - plain;
        plain += in - out;
    }
    if (entry.offsetCrc != 0 && frames >= (kOffsetSector + 1) * LCD_SECTOR_FRAMES) {
        const uint32_t* sector = words + kOffsetSector * LCD_SECTOR_FRAMES;
        for (size_t j = 0; j < span; ++j)
            if (LARSectorChecksum(sector + j) == entry.offsetCrc) candidate[j] = true;
    }
    if (size_t(std::count(candidate.begin(), candidate.end(), true)) > kMaxCandidates) return found;
    for (size_t j = 0; j < span; ++j) {
        if (!candidate[j]) continue;
        LARChecksum sums;
        sums.Start(track, count, frames);
        sums.AddWords(words + j, int32_t(frames));
        if (sums.V1() == entry.crc || sums.V2() == entry.crc) found.push_back(int(j) - bound);
    }
    return found;
}

int ProcessFindReadOffset(LProgressDialog* dlg, uint8_t drive, LOffsetResult& result) {
    result = LOffsetResult();
    uint8_t tracks = 0;
    uint32_t addresses[256] = {};
    {
        LSCSI scsi;
        if (!scsi.OpenCDROMDrive(drive)) {
            LTrace("ProcessFindReadOffset scsi.OpenCDROMDrive FAILED");
            return LPROCESS_OK;
        }
        dlg->SetText("Getting Track Information...", 1);
        const int status = ProcessSCSICDGetTOC(dlg, scsi, tracks, addresses);
        if (status == LPROCESS_STOPPED) {
            result.outcome = LOffsetOutcome::Stopped;
            return status;
        }
        if (status != LPROCESS_OK || tracks < 1 || tracks > 99) return LPROCESS_OK;
    }
    const LARDiscIds ids = LARComputeDiscIds(addresses, tracks, addresses[tracks]);
    std::vector<LARPressing> pressings;
    switch (ProcessARLookup(dlg, ids, pressings)) {
        case LARLookup::Found:
            break;
        case LARLookup::NotFound:
            result.outcome = LOffsetOutcome::NotInDatabase;
            return LPROCESS_OK;
        case LARLookup::Stopped:
            result.outcome = LOffsetOutcome::Stopped;
            return LPROCESS_STOPPED;
        case LARLookup::Failed:
            result.outcome = LOffsetOutcome::Unreachable;
            return LPROCESS_OK;
    }

    // The tracks to read: those the database knows, middle tracks long enough for the
    // offset-finding checksum first, then other middle tracks, then the first and the last;
    // the shortest first within each.
    auto sectors = [&](int t) { return addresses[t] - addresses[t - 1]; };
    std::vector<std::pair<uint64_t, int>> order;
    for (int t = 1; t <= tracks; ++t) {
        const bool known = std::any_of(pressings.begin(), pressings.end(), [&](const auto& p) {
            return size_t(t) <= p.tracks.size() && Known(p.tracks[size_t(t - 1)]);
        });
        if (!known || addresses[t] <= addresses[t - 1]) continue;
        if (sectors(t) > kMaxTrackSectors) {
            result.outcome = LOffsetOutcome::TooLong;
            continue;
        }
        const int rank = t == 1 || t == tracks ? 2 : sectors(t) > kOffsetSector ? 0 : 1;
        order.push_back({uint64_t(rank) << 32 | sectors(t), t});
    }
    std::sort(order.begin(), order.end());
    if (order.empty()) {
        if (result.outcome != LOffsetOutcome::TooLong)
            result.outcome = LOffsetOutcome::NotInDatabase;
        return LPROCESS_OK;
    }

    std::map<int, Tally> tallies;
    const uint32_t margin = 2 * kOffsetSearchBound / LCD_SECTOR_FRAMES;
    for (size_t k = 0; k < order.size() && k < size_t(kTracksToRead); ++k) {
        const int t = order[k].second;
        const uint32_t frames = sectors(t) * uint32_t(LCD_SECTOR_FRAMES);
        auto* sink = new WordSink(size_t(frames) + 2 * kOffsetSearchBound);
        LSinkRef ref(sink);
        LCDROMRipSectors rip;
        rip.nDrive = drive;
        rip.firstSector = addresses[t - 1];
        rip.endSector = addresses[t] + margin;
        rip.offset = -kOffsetSearchBound;
        rip.leadOut = addresses[tracks];
        rip.secure = SettingsRead(kSecureRip);
        rip.keepDamaged = true;  // a damaged sector only spoils the match
        rip.sink = ref;
        std::snprintf(rip.name, sizeof rip.name, "Track %d", t);
        if (!sink->words) {
            result.outcome = LOffsetOutcome::TooLong;
            return LPROCESS_OK;
        }
        const int status = LRipSectors(dlg, &rip);
        if (status == LPROCESS_STOPPED) {
            result.outcome = LOffsetOutcome::Stopped;
            return status;
        }
        if (status != LPROCESS_OK || sink->filled != sink->size) {
            result.outcome = LOffsetOutcome::NoDisc;
            return LPROCESS_OK;
        }
        ++result.tracksRead;
        for (size_t p = 0; p < pressings.size(); ++p) {
            const LARTrackEntry& entry = pressings[p].tracks[size_t(t - 1)];
            if (!Known(entry)) continue;
            for (int offset : LARMatchingOffsets(sink->words.get(), frames, kOffsetSearchBound, t,
                                                 tracks, entry)) {
                Tally& tally = tallies[offset];
                tally.tracks.insert(t);
                tally.pressings.insert(p);
                tally.confidence = std::max<int>(tally.confidence, entry.confidence);
            }
        }
    }

    // The offset most tracks agree on, then most pressings, then the surest record, then the
    // smallest.
    const std::pair<const int, Tally>* best = nullptr;
    auto key = [](const std::pair<const int, Tally>& a) {
        return std::tuple(a.second.tracks.size(), a.second.pressings.size(), a.second.confidence,
                          -std::abs(a.first));
    };
    for (const auto& entry : tallies)
        if (!best || key(entry) > key(*best)) best = &entry;
    if (!best) {
        result.outcome = LOffsetOutcome::NoMatch;
        return LPROCESS_OK;
    }
    result.outcome = LOffsetOutcome::Found;
    result.offset = best->first;
    result.tracksAgreed = int(best->second.tracks.size());
    result.pressings = int(best->second.pressings.size());
    result.confidence = best->second.confidence;
    SettingsWrite(kReadOffset, result.offset);
    return LPROCESS_OK;
}

std::string LOffsetResultText(const LOffsetResult& r) {
    char text[256];
    const char* why = "the disc in the drive cannot be read";
    switch (r.outcome) {
        case LOffsetOutcome::Found:
            std::snprintf(text, sizeof text,
                          "Read offset %+d found and stored (%d of %d track(s) and %d pressing(s) "
                          "agree, confidence %d)",
                          r.offset, r.tracksAgreed, r.tracksRead, r.pressings, r.confidence);
            return text;
        case LOffsetOutcome::NotInDatabase:
            why = "the disc is not in the AccurateRip database";
            break;
        case LOffsetOutcome::NoMatch:
            std::snprintf(text, sizeof text,
                          "no offset from -%d to +%d samples matches the AccurateRip database",
                          kOffsetSearchBound, kOffsetSearchBound);
            return std::string("Read offset not found: ") + text;
        case LOffsetOutcome::NoDisc:
            break;
        case LOffsetOutcome::Unreachable:
            why = "the AccurateRip server could not be reached";
            break;
        case LOffsetOutcome::TooLong:
            why = "the tracks the AccurateRip database knows are too long to read at once";
            break;
        case LOffsetOutcome::Stopped:
            why = "cancelled";
            break;
    }
    return std::string("Read offset not found: ") + why;
}
