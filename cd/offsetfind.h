// Finding a CD drive's read offset from the disc in it: a track read once with a margin, every
// offset within the margin tried against the AccurateRip records of the disc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cd/accuraterip.h"
#include "support/progress.h"

// Offsets are tried from -kOffsetSearchBound to +kOffsetSearchBound samples (ten sectors; the
// drives in use lie well within).
inline constexpr int kOffsetSearchBound = 5880;

enum class LOffsetOutcome {
    Found,          // stored as the read offset
    NotInDatabase,  // the database has no records of the disc, or none for a track it has
    NoMatch,        // no offset within the bound makes a track match a record
    NoDisc,         // the drive or its table of contents cannot be read, or a track cannot
    Unreachable,    // the database server could not be asked
    TooLong,        // the only tracks the database knows are too long to be held for the search
    Stopped,        // the user cancelled
};

struct LOffsetResult {
    LOffsetOutcome outcome = LOffsetOutcome::NoDisc;
    int offset = 0;        // samples, as drive offset lists give them
    int tracksRead = 0;    // tracks read and tried
    int tracksAgreed = 0;  // of those, tracks whose whole checksum matched at the offset
    int pressings = 0;     // pressings (records) that matched at the offset
    int confidence = 0;    // the highest confidence among the matching records
};

// Every offset from -bound to +bound at which the track (from 1 of count; frames long) matches
// the entry: candidates from its offset-finding checksum (the v1 sum of the track's sector 450
// alone, for a track that long) and from its v1 checksum slid over every offset, each confirmed
// by the whole track's v1 or v2. words: the track's 16-bit stereo frames as checksum words (left
// in the low half) from `bound` frames before its start to `bound` frames after its end.
std::vector<int> LARMatchingOffsets(const uint32_t* words, uint32_t frames, int bound, int track,
                                    int count, const LARTrackEntry& entry);

// The offset-finding checksum of the frames of one sector (588 checksum words).
uint32_t LARSectorChecksum(const uint32_t* words);

// Reads the table of contents of the disc in drive, fetches its records and reads one or two of
// its tracks (the shortest ones the database knows, middle tracks first) with a margin of the
// bound; the offset that most tracks (then most pressings) agree on is stored as "ReadOffset".
// A process status (LPROCESS_OK also when nothing was found: the result tells).
int ProcessFindReadOffset(LProgressDialog* dlg, uint8_t drive, LOffsetResult& result);

// The line that tells the user: "Read offset +30 found and stored (...)" or why none was.
std::string LOffsetResultText(const LOffsetResult& result);
