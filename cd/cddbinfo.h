// The disc record filled from the table of contents and a CDDB server.
#pragma once

#include <cstdint>

// One track of the disc.
struct LCDDBTrack {
    int32_t iLength;             // (SectorEnd - SectorStart) / 75 in whole seconds, 0 if negative
    char TrackName[260];         // "Track %.2d" (number from 1) unless the server names it
    int32_t iTrackNumber;        // index + 1 once the server named the track
    uint32_t SectorStart;        // first LBA of the track
    uint32_t SectorEnd;          // first LBA of the next track, or the lead-out
    char szExtendedData[260];    // the server's EXTT value, empty by default
};

// The disc: what the table of contents gives and, when asked, what the CDDB server adds.
struct LCDDBInfo {
    uint8_t iDrive;              // drive index among the CD drives
    uint8_t bUseCDDB;            // 0: table of contents only; otherwise also ask the server
    char szAlbumName[260];       // from DTITLE
    char szArtistName[260];      // from DTITLE (the part before " / ")
    char szCategory[260];        // the server's category of the match ("rock", "jazz", ...)
    int32_t iYear;               // from the extended disc data, 0 when not given
    uint8_t iNumTracks;          // from the table of contents
    char szExtendedData[260];    // the server's EXTD value
    LCDDBTrack Tracks[256];      // one per track, from 0
};
