// A conversion request: the entries to convert, where their outputs go and under which rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What happens to an output that exists already (the "Settings" overwrite choices).
enum class LOverwriteRule : uint8_t {
    Ask,        // "AlwaysPrompt": asked once per batch, the answer kept for the rest
    Overwrite,  // "AlwaysOverwrite", and the rule when none is set
    Skip,       // "NeverOverwrite"
    Cancel,     // "CancelAll": the batch stops at the first existing output
};

// How CD tracks are named from the disc's information.
enum class LCDNameScheme : uint8_t {
    ArtistTitle,       // "Artist - Title"
    AlbumArtistTitle,  // "Album - Artist - Title"
    Custom,            // the custom pattern: folder levels in [], the file name in {}
};
struct LCDNaming {
    bool useCDDB = false;  // tracks are named from the disc's record (looked up once a batch)
    LCDNameScheme scheme = LCDNameScheme::ArtistTitle;
    std::string pattern;  // the custom pattern
};

// One list entry to convert.
struct LConvertEntry {
    int index = 0;           // its place in the front end's list
    std::string input;       // its path
    std::string fromFolder;  // the folder it was added from with its tree ("" for a file)
};

struct LConvertRequest {
    std::vector<LConvertEntry> entries;  // in list order
    std::string outputFolder;            // the output folder text ("[Same as source file]" too)
    std::string outputExtension;         // the output format, such as ".mp3"
    LOverwriteRule overwrite = LOverwriteRule::Ask;
    // Each output keeps the input's path below the folder it was added from.
    bool keepFolders = false;
    LCDNaming cdNaming;
    // Open errors and the raw settings dialog may be shown (the convert command).
    bool interactive = false;
    // The window is hidden: the job's progress surfaces are too.
    bool hidden = true;
    // Entries converted at once (1: one after another).
    int jobs = 1;
};
