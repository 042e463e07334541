// CDDB lookup: the disc id, the protocol exchange with a CDDB server and the database entry
// parser that fills an LCDDBInfo record, plus the cleaning of server texts used in file names.
#pragma once

#include <cstdint>
#include <string>

#include "cd/cddbinfo.h"
#include "support/progress.h"
#include "support/version.h"

// The server: settings (section "CDDB") that the user interface does not offer move it
// elsewhere: "Server" holds "host" or "host:port"; "Timeout" shortens the wait for each
// connect, line sent and line received (milliseconds, for tests; the product waits 10000).
inline constexpr const char* kCDDBSection = "CDDB";
inline constexpr const char* kCDDBServerDefault = "gnudb.gnudb.org";
inline constexpr uint16_t kCDDBDefaultPort = 8880;
inline constexpr uint32_t kCDDBTimeoutMs = 10000;
// A lookup never takes longer than this many time-outs in all, and never reads more lines
// than this for one reply list or database entry.
inline constexpr uint32_t kCDDBBudgetTimeouts = 6;
inline constexpr int kCDDBMaxReplyLines = 4096;

// The published CDDB disc id from the track start addresses and the lead-out (frames, LBA).
uint32_t CDDBDiscId(const uint32_t* starts, int count, uint32_t leadOut);
// The protocol lines, each ending in "\n".
inline constexpr const char* kCDDBHelloLine =
    "cddb hello undef localhost Tamber " TAMBER_VERSION "\n";
inline constexpr const char* kCDDBQuitLine = "cddb quit\n";
std::string CDDBQueryLine(const uint32_t* starts, int count, uint32_t leadOut);
std::string CDDBReadLine(const char* category, const char* discId);
// The decimal code at the start of a reply line, -1 when there is none.
int CDDBReplyCode(const char* line);

// Default names, sector ranges and lengths from the table of contents; the disc's server
// fields (album, artist, category, year, extended data) are left as they are.
void CDDBFillFromToc(LCDDBInfo& info, const uint32_t* starts, int count, uint32_t leadOut);

// Applies the lines of a database entry to the record. A value longer than one line goes on
// in further lines with the same keyword; those are joined (at most 259 characters kept).
class LCDDBEntryParser {
  public:
    explicit LCDDBEntryParser(LCDDBInfo& info) : info_(info) {}
    // false once the entry's end (a line starting with ".") has been seen.
    bool Feed(const char* line);

  private:
    void ApplyDiscTitle();

    LCDDBInfo& info_;
    char discTitle_[260] = {};
    bool seenDiscTitle_ = false;
    bool seenDiscData_ = false;
    bool seenTitle_[256] = {};
    bool seenTrackData_[256] = {};
};

// How a lookup ended (for the caller's information and for tests).
enum class LCDDBOutcome { TocOnly, Found, NoMatch, Failed, Cancelled };

// Fills the record from the table of contents (after the caller has opened the drive and read
// it) and, when info->bUseCDDB is set, from the CDDB server; the disc's server fields are
// cleared first, so nothing of an earlier disc survives.
// Always LPROCESS_OK: every server outcome, found or not, leaves a usable record. When the
// server knows no such disc the outcome says so, and the caller tells the user ("No CDDB match
// found"); network failures are silent and leave the defaults.
int ProcessCDDBLookup(LProgressDialog* dlg, LCDDBInfo* info, const uint32_t* starts, int count,
                      uint32_t leadOut, LCDDBOutcome* outcome = nullptr);

// The same for a record whose table-of-contents part is already filled (iTracks and every
// track's SectorStart, the last track's SectorEnd being the lead-out), as LCDReadDiscInfo
// leaves it.
int ProcessCDDBLookup(LProgressDialog* dlg, LCDDBInfo* info, LCDDBOutcome* outcome = nullptr);

// What the user is told when the server knows no such disc (caption "Tamber").
inline constexpr const char* kCDDBNoMatchMessage = "No CDDB match found";

// Cleans one text from the server (title, artist, album, category, extended data) into a name
// for one file or folder level: the characters that cannot appear in a file name are dropped
// (control characters, bytes with the high bit set, " * . / : < > ? \ |), so neither "..", a
// separator nor a drive can survive; surrounding blanks are trimmed and a reserved device name
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9) gets a "_" in front. At most 259 characters. false
// when nothing is left (the caller then keeps its default name).
bool CDDBCleanName(char* dest, const char* text);
// Checks one finished file or folder name built from cleaned parts (it may hold dots such as
// "3. Title"): strips trailing dots and blanks, which the file system drops, puts a "_" in
// front of a reserved device name, and refuses what is then empty or still holds a separator,
// a colon or a control character. true when usable.
bool CDDBSafeComponent(char* name);
