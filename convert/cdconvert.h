// CD track entries in a conversion run: which drive and track, the output name from the disc's
// CDDB information by one of three schemes, the overwrite rule, and the rip into the output.
#pragma once

#include <cstdint>
#include <memory>

#include "cd/cddbinfo.h"
#include "convert/events.h"
#include "convert/host.h"
#include "convert/overwrite.h"
#include "convert/request.h"

// The disc record that playing and converting share, and whether it is loaded.
struct LCDRunState {
    LCDRunState() : info(new LCDDBInfo) {}
    std::unique_ptr<LCDDBInfo> info;
    bool tableLoaded = false;  // cleared at the end of every conversion run
};
// The program's one disc record.
LCDRunState& LCDState();

// The naming rule the "Settings" section sets now ("UseCDDB", "FormatChoiceA"/"B" and the
// custom pattern).
LCDNaming LReadCDNaming();

// Fills the disc record for playing a track of `drive` behind "Loading CD Information" unless it
// is loaded for that drive (the server is asked only when "UseCDDB" is on), and marks it loaded,
// also when loading failed. A record loaded for another drive would give the wrong sectors.
void LCDLoadTableForPlay(LConvertHost& host, uint8_t drive);

// The texts of one track and its disc, cleaned for file names.
struct LCDNameTexts {
    char title[260] = {}, extended[260] = {}, album[260] = {}, artist[260] = {}, genre[260] = {};
    int year = 0;
    int number = 0;  // from 1
};
void LCDCleanTexts(const LCDDBInfo& info, int track, LCDNameTexts& out);

// Expands one part of the custom pattern (%a %b %t %g %y %e %n; other characters are ignored),
// with " - " before a code's text unless the name so far is shorter than 2 characters or its
// second-to-last character is "."; at most 259 characters.
void LCDExpandNamePart(char* dest, const char* part, const LCDNameTexts& texts);

// Names the output by the naming scheme: folder is the output folder, extension the output's.
// The custom scheme creates its folder levels (a failure is told to the user and passed over;
// a level with no usable name is left out). A file name that is no usable name leaves output
// as it was. False when the custom pattern names no file ("{" missing).
bool LCDNameOutput(LUser& user, const LCDNaming& naming, const LCDNameTexts& texts,
                   const char* folder, const char* extension, char* output);

// Converts the CD track entry `input` into `output` (the job's proposed path; replaced when the
// disc's names are used), under the request's rules and the batch's overwrite state. Its
// progress dialogs are owned by the job's (so the main window stays disabled) and hidden with
// the main window. The track is written under a passing name beside the output that takes its
// place when complete. The rip's AccurateRip checksums are taken on the way and the track is
// compared with the database (convert/cdverify.h); index names the entry to the events. True
// when converted; false when skipped, refused or failed (the partial file is deleted).
bool LCDConvertTrack(LConvertEvents& events, const LConvertRequest& request, int index,
                     const char* input, char* output, LOverwriteState& overwrite,
                     LProgressDialog* jobDialog);
