// The CD's table of contents and the raw audio read (SCSI MMC READ TOC and READ CD).
#pragma once

#include <cstdint>

#include "cd/scsi.h"
#include "support/progress.h"

// CD-DA: 44100 Hz stereo 16-bit; one sector holds 588 frames.
constexpr int LCD_SECTOR_BYTES = 2352;
constexpr int LCD_SECTOR_FRAMES = 588;
constexpr int LCD_MAX_READ_SECTORS = 27;
constexpr int LCD_TOC_BYTES = 2048;

// The command blocks, byte for byte.
void LCDBuildReadTOC(uint8_t cdb[10]);
void LCDBuildReadCD(uint8_t cdb[12], uint32_t lba, int sectors);

// Parses a READ TOC response (at most `bytes` long): the track count and the start addresses
// of every track and of the lead-out (addresses[trackCount]). False when the length field is
// below 10 or the entries would lie beyond the response.
bool LCDParseTOC(const uint8_t* response, int bytes, uint8_t& trackCount, uint32_t addresses[256]);

// Reads the table of contents of the open drive (20 s limit). A process status.
int ProcessSCSICDGetTOC(LProgressDialog* dlg, LSCSI& drive, uint8_t& trackCount,
                        uint32_t addresses[256]);

// Starts a READ CD of 1 to 27 sectors into `samples` (count x 1176 16-bit samples): 0 when
// started (the drive's completion event fires at its end) or LPROCESS_FAILED. Never waits.
int ProcessSCSICDReadDASectors(LSCSI& drive, uint32_t lba, int sectors, int16_t* samples);
