// Ripping CD audio into a sound sink: one track behind a progress dialog, or a sector range
// behind a dialog or on a worker thread (the feeder of a sink-to-source bridge).
#pragma once

#include <cstdint>
#include <vector>

#include "core/ring_process.h"
#include "core/sound.h"
#include "support/file.h"
#include "support/progress.h"
#include "support/thread.h"

// What a secure rip found, filled by LRipTrack when the record points at one.
struct LRipReport {
    uint32_t rereads = 0;            // sectors that needed more than the two agreeing reads
    std::vector<uint32_t> unstable;  // sectors (LBA) that never read the same twice
    bool damaged = false;            // the track was kept with unstable sectors
    int offset = 0;                  // the read offset applied, in samples
};

struct LCDROMRipTrack {
    uint8_t nDrive = 0;
    uint8_t nTrack = 0;            // from 0
    LSinkRef sink;                 // any rate and channel count
    LRipReport* report = nullptr;  // filled when not null
};

struct LCDROMRipSectors {
    uint8_t nDrive = 0;
    uint32_t firstSector = 0;
    uint32_t endSector = 0;     // exclusive
    LSinkRef sink;              // 44100 Hz stereo; may be empty (the audio is read and dropped)
    char name[LMAX_PATH] = {};  // shown as "Loading %s"
    // The drive's read offset in frames: a drive with +N delivers a sector's audio beginning N
    // frames early, so the sectors around the range are read as far as the shift needs. Frames
    // beyond the disc (before sector 0, at or past leadOut) come out as zeros.
    int offset = 0;
    uint32_t leadOut = 0;  // the disc's end; 0: not known (nothing is read past endSector's need)
    // Every sector read until two reads agree (a second pass, then re-reads with the drive's
    // cache emptied; C2 error pointers where the drive gives them).
    bool secure = false;
    bool keepDamaged = false;      // go on past a sector that never reads the same twice
    LRipReport* report = nullptr;  // re-reads and unstable sectors; may be null
};

// Reads the table of contents and rips track nTrack through the 2-channel and 44100 Hz
// adapters into the record's sink, then finishes the sink, with the read offset, secure reading
// and keeping of damaged tracks as the settings say. A sector that never reads the same twice
// fails the track with a message naming both, unless damaged tracks are kept. A process status.
int LRipTrack(LProgressDialog* dlg, LCDROMRipTrack* data);
// The extraction. Without secure reading double-buffered: reads of 13, then 27 sectors, each
// delivered while the next runs. Secure: stretches of sectors read twice, sector by sector
// compared, doubtful sectors read again; LPROCESS_FAILED at an unstable sector unless kept.
int LRipSectors(LProgressDialog* dlg, LCDROMRipSectors* data);
// The same on a worker thread: the thread's stop signal cancels it; 0, LPROCESS_STOPPED or
// LPROCESS_FAILED.
int LRipSectorsOnThread(LThread* thread, LCDROMRipSectors* data);
// The same as the feeder of a ring bridge (core/ring_process.h): no texts, and a stop of the
// feeder's surface is LPROCESS_STOPPED.
int LRipSectorsFeeding(LProgressDialog* progress, LCDROMRipSectors* data);
