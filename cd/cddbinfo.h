// LCDDBInfo: what is known about the disc in a drive, from its table of contents and, when
// looked up, from a CDDB server. Strings are zero-terminated, 260 characters each.
#pragma once

#include <cstdint>

struct LCDDBTrackInfo {
    int32_t iLength = 0;       // (SectorEnd - SectorStart) / 75 in whole seconds, 0 if negative
    char TrackName[260] = {};  // "Track %.2d" by default, else the TTITLE value
    int32_t iTrackNumber = 0;  // index + 1 once a TTITLE line for the track arrived
    uint32_t SectorStart = 0;  // first LBA
    uint32_t SectorEnd = 0;    // first LBA of the next track or the lead-out
    char szExtendedData[260] = {};  // the EXTT value
};

struct LCDDBInfo {
    uint8_t iDrive = 0;             // drive index
    uint8_t bUseCDDB = 0;           // 0: table of contents only; otherwise ask the server too
    char szAlbumName[260] = {};     // from DTITLE
    char szArtist[260] = {};        // from DTITLE
    char szCategory[260] = {};      // CDDB category of the match
    int32_t iYear = 0;              // from the extended disc data
    uint8_t iTracks = 0;            // from the table of contents
    char szExtendedData[260] = {};  // the EXTD value
    uint8_t bCDText = 0;            // the names came from the disc's CD-TEXT
    LCDDBTrackInfo Tracks[256];
};

class LProgressDialog;
// Fills the record from the drive's table of contents: the track count, every track's sector
// range, length and default name "Track %.2d"; nothing from a server. A process status.
int LCDReadDiscInfo(LProgressDialog* dlg, LCDDBInfo& info);
