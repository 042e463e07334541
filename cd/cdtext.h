// CD-TEXT: the packs a drive returns for READ TOC format 5, parsed into the album's and the
// tracks' titles and performers, and those names put into the disc record.
#pragma once

#include <cstdint>

#include "cd/cddbinfo.h"

constexpr int LCD_TEXT_TRACKS = 100;  // the album (0) and tracks 1 to 99
constexpr int LCD_TEXT_CHARS = 260;   // each text, zero-terminated, in UTF-8

// The texts of block 0 in ISO 8859-1, as UTF-8: [0] titles (pack type 0x80), [1] performers
// (0x81); index 0 the album's, t track t's. Empty where the disc has none.
struct LCDText {
    char texts[2][LCD_TEXT_TRACKS][LCD_TEXT_CHARS];
};

// The CD-TEXT CRC of an 18-byte pack: CRC-16 (x^16 + x^12 + x^5 + 1) of bytes 0 to 15, inverted,
// stored big-endian in bytes 16 and 17.
bool LCDTextPackIntact(const uint8_t* pack);

// Parses a READ TOC format 5 response of `bytes` bytes (the 4-byte header, then 18-byte packs).
// Packs with a bad CRC, of other blocks or in double-byte characters are passed over; a text
// whose beginning was lost is left out. True when any title or performer was found.
bool LCDParseText(const uint8_t* response, int bytes, LCDText& out);

// Puts the track titles into the record (tracks it knows from the table of contents) and, when
// any track has one, the album title and performer; true when any track got a title.
bool LCDApplyText(const LCDText& text, LCDDBInfo& info);

class LProgressDialog;
// Reads the CD-TEXT of the record's drive and applies it; a drive that refuses the command, or
// texts that name no track, leave the record as it was. True when applied.
bool LCDReadText(LProgressDialog* dlg, LCDDBInfo& info);
