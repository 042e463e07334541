// Where an entry's output goes: the output folder rule, the output path and the passing name.
#pragma once

#include "convert/request.h"
#include "support/file.h"

constexpr const char* kSameAsSourceFolder = "[Same as source file]";
// The output folder text asks for each input's own folder (any case).
bool LIsSameAsSource(const char* folderText);

// The folder for CD tracks when the output folder is "[Same as source file]": the user's music
// folder (a disc has no folder of its own).
void LCDSameAsSourceFolder(char* dest);

// Where one entry's conversion puts its result: the output folder and the file the user gets;
// sameFile when that is the input itself (replaced at the end, without a question); mirrored
// when the folder is one below the output folder, made for the input's place in its tree.
// False when the output path would not fit a path buffer (the entry is then not converted).
struct LEntryPaths {
    char folder[LMAX_PATH];
    char finalPath[LMAX_PATH];
    bool sameFile = false;
    bool mirrored = false;
};
// fromFolder: the folder the entry was added from with its tree ("" or null for a file added by
// itself). With keepFolders the input's path below that folder is kept below the output folder
// ("out" + "A/B/01.flac" from the folder "Music" gives "out/A/B/01.mp3").
bool LPlanEntryPaths(const char* input, const char* folderText, const char* outExt,
                     LEntryPaths& paths, const char* fromFolder = nullptr,
                     bool keepFolders = false);
// Creates the missing folders (every level) of a mirrored entry; true when its folder is there.
bool LMakeEntryFolder(const LEntryPaths& paths);
// One entry of a request: its paths by the request's folder, format and tree rule, and its
// folder made (a folder that cannot be made shows when the output's name is claimed in it).
// False when the output path would not fit.
bool LPlanEntry(const LConvertRequest& request, const LConvertEntry& entry, LEntryPaths& paths);

// Claims a free name in the folder for a file being written: prefix + name + extension, else
// with " (2)", " (3)", ... before the extension, the name shortened where the path would not
// fit. The empty file is created in the same step (never through a link), so that no other
// file and no other running conversion is ever written over. False when none could be claimed.
bool LClaimPassingName(char* dest, const char* folder, const char* prefix, const char* name,
                       const char* ext);
