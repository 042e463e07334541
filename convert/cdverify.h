// AccurateRip verification of the CD tracks of a batch: each disc's table of contents and
// database records fetched once, each ripped track compared and reported, and one rip log per
// disc beside its outputs when the batch ends.
#pragma once

#include <cstdint>
#include <string>

#include "cd/accuraterip.h"
#include "convert/events.h"
#include "support/progress.h"

// What the rip itself says of a track.
struct LCDRipFacts {
    uint32_t rereads = 0;  // sectors read again until two reads agreed
    bool damaged = false;  // kept although a sector never read the same twice
    int offset = 0;        // the drive's read offset the rip corrected, in samples
};

// Starts the checksum of track (from 0) of the disc in drive: the disc's table of contents is
// read the first time the batch meets the drive. False when the table cannot be read or holds
// no such track (the track is then not verified).
bool LCDStartChecksum(LProgressDialog* dlg, uint8_t drive, int track, LARChecksum& sums);

// After the track's rip into output (ripOk: it ended complete and without a read failure, and
// the output was kept; a failed track's output is gone but named in the log): looks the disc
// up the first time (nothing is looked up when no track of the disc was read), compares the
// checksums, tells the events (index: the entry) and the job's progress surface, and keeps the
// track for the disc's log.
void LCDVerifyTrack(LConvertEvents& events, LProgressDialog* dlg, int index, uint8_t drive,
                    const char* input, const char* output, int track, const LARChecksum& sums,
                    bool ripOk, const LCDRipFacts& facts = {});

// The end of a batch: each disc's rip log is written in the folder of its first track's output
// ("Tamber rip.log", two discs with the same folder share it), and the batch's discs are
// forgotten.
void LCDEndVerifyBatch();

// The log's file name.
inline constexpr const char* kCDRipLogName = "Tamber rip.log";
