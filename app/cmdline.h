// The command line: options, files and actions, run against the main window (or the headless
// front end) through the host interface.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "convert/host.h"
#include "store/encsettings.h"

// At most this many arguments (entry 0, the program, included) are looked at.
constexpr int LCOMMAND_MAX_ARGS = 32;

// One row of the option table (also the source of the usage text).
struct LCommandOption {
    const char* name;
    const char* values;  // what follows, "" for nothing
    const char* effect;
};
extern const LCommandOption kCommandOptions[];
extern const int kCommandOptionCount;

// What a run did, for front ends that report it.
struct LCommandResult {
    bool converted = false;  // "-convert" ran
    int outcome = 0;         // the last conversion's outcome (LPROCESS_*)
    int skippedFiles = 0;    // named files that were not added (unreadable or empty)
    // A setting could not be stored (the user was told); a "-convert" then does not run.
    bool settingsFailed = false;
};

class LCommandLine {
  public:
    // The host and the in-memory settings records it holds (changed by "-settings").
    LCommandLine(LConvertHost& host, LSettingsRecords& records) : host_(host), records_(records) {}

    // The three passes over argv[1..argc-1] (EvRunArguments), then shows the window unless hidden.
    LCommandResult Run(int argc, const char* const* argv);
    // How many arguments (entry 0 included) Run looks at; LCOMMAND_MAX_ARGS unless changed.
    void SetArgumentLimit(int limit) { argumentLimit_ = limit; }
    // The folder that relative file arguments and a relative "-outfolder" are read against
    // (the starting folder of a forwarded start); empty: used as they are.
    void SetBaseFolder(const char* folder) { baseFolder_ = folder ? folder : ""; }

    // Adds a file to the list (LoadFile): false only when it is already listed; unreadable,
    // empty or non-regular files are skipped (true, nothing added; *added tells).
    // A folder adds every file of its tree, each remembering the folder (false when one of
    // them was listed already).
    bool LoadFile(const char* path, bool* added = nullptr);

  private:
    // LoadFile for a file of the tree of fromFolder ("" for none); trees: a folder adds its tree
    // (else it is skipped as no file).
    bool LoadFileFrom(const char* path, const char* fromFolder, bool trees, bool* added);
    bool LoadFolder(const char* folder, bool* added);
    // "-settings"/"-insettings": the format's parser (convert/formattable.h); returns the
    // values read.
    int SetSettings(const char* const* argv, int count, int i, bool inputOnly);
    // "-detectoffset": finds and stores the named drive's read offset, telling the user; a
    // later "-convert" does not run when none was found.
    void DetectOffset(const char* drive);
    // A path too long for a path buffer: the user is told (naming it) and the result is true.
    bool RefuseLongPath(const char* path);

    // A file of a known size: false when it is listed already; an empty one is no entry, and
    // *added turns true only when it is listed now.
    bool AddSized(const char* path, uint64_t size, const char* fromFolder, bool* added);
    // Whether the path is in the host's list: a set of the listed paths' keys, made again when
    // the list is no longer the one it was made from (so that adding a large tree stays linear).
    bool Listed(const char* path);
    void NoteListed(const char* path);

    LConvertHost& host_;
    LSettingsRecords& records_;
    std::unordered_set<std::string> listed_;
    bool settingsFailed_ = false;  // in this run
    int argumentLimit_ = LCOMMAND_MAX_ARGS;
    std::string baseFolder_;
};
