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
constexpr int LCD_TEXT_BYTES = 4 + 18 * 512;  // the CD-TEXT header and up to 512 packs
// A read with C2 error pointers: each sector's 2352 bytes followed by 294 bytes, one bit per
// byte of the sector (set: that byte was not read cleanly). 24 such sectors fill the buffer of
// 27 plain ones.
constexpr int LCD_C2_BYTES = 294;
constexpr int LCD_C2_SECTOR_BYTES = LCD_SECTOR_BYTES + LCD_C2_BYTES;
constexpr int LCD_MAX_C2_READ_SECTORS =
    LCD_MAX_READ_SECTORS * LCD_SECTOR_BYTES / LCD_C2_SECTOR_BYTES;

// The command blocks, byte for byte. Format 0 is the table of contents, format 5 CD-TEXT.
void LCDBuildReadTOC(uint8_t cdb[10], int format = 0, uint16_t allocation = LCD_TOC_BYTES);
void LCDBuildReadCD(uint8_t cdb[12], uint32_t lba, int sectors, bool c2 = false);

// Parses a READ TOC response (at most `bytes` long): the track count and the start addresses
// of every track and of the lead-out (addresses[trackCount]). False when the length field is
// below 10 or the entries would lie beyond the response.
bool LCDParseTOC(const uint8_t* response, int bytes, uint8_t& trackCount, uint32_t addresses[256]);

// Reads the table of contents of the open drive (20 s limit). A process status.
int ProcessSCSICDGetTOC(LProgressDialog* dlg, LSCSI& drive, uint8_t& trackCount,
                        uint32_t addresses[256]);

// Starts a READ CD of 1 to 27 sectors into `samples` (count x 1176 16-bit samples), or with C2
// pointers of 1 to 24 sectors (count x 2646 bytes): 0 when started (the drive's completion event
// fires at its end) or LPROCESS_FAILED. Never waits.
int ProcessSCSICDReadDASectors(LSCSI& drive, uint32_t lba, int sectors, int16_t* samples,
                               bool c2 = false);

// Reads the CD-TEXT packs (READ TOC format 5) into `out` (LCD_TEXT_BYTES): the response, its
// length in `bytes`. A drive without CD-TEXT refuses the command. A process status.
int ProcessSCSICDReadText(LProgressDialog* dlg, LSCSI& drive, uint8_t* out, int& bytes);
