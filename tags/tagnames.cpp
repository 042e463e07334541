// Field name tables shared by the ID3v2 and MP4 readers and writers.
#include "tags/tagnames.h"

#include <strings.h>

#include <cstring>

#include "tags/tagdata.h"

namespace {

struct Pair {
    const char* key;
    const char* name;
};

// Text frames read and written by name (track, disc and dates have their own rules).
constexpr Pair kFrames[] = {
    {"TIT2", "TITLE"},        {"TPE1", "ARTIST"},
    {"TPE2", "ALBUMARTIST"},  {"TALB", "ALBUM"},
    {"TCON", "GENRE"},        {"TCOM", "COMPOSER"},
    {"TBPM", "BPM"},          {"TCOP", "COPYRIGHT"},
    {"TPUB", "ORGANIZATION"}, {"TSRC", "ISRC"},
    {"TENC", "ENCODEDBY"},    {"TIT3", "SUBTITLE"},
    {"TIT1", "GROUPING"},     {"TPE3", "CONDUCTOR"},
    {"TEXT", "LYRICIST"},     {"TPE4", "REMIXER"},
    {"TMED", "MEDIA"},        {"TLAN", "LANGUAGE"},
    {"TSOA", "ALBUMSORT"},    {"TSOP", "ARTISTSORT"},
    {"TSOT", "TITLESORT"},    {"TSO2", "ALBUMARTISTSORT"},
    {"TSOC", "COMPOSERSORT"}, {"TCMP", "COMPILATION"},
    {"TKEY", "KEY"},          {"TMOO", "MOOD"},
    {"TORY", "ORIGINALDATE"},
};
// Read only: version 2.4 frames whose fields version 2.3 writes elsewhere.
constexpr Pair kFramesRead[] = {{"TDRC", "DATE"}, {"TDOR", "ORIGINALDATE"}};

constexpr Pair kDescriptions[] = {
    {"MusicBrainz Track Id", "MUSICBRAINZ_TRACKID"},
    {"MusicBrainz Album Id", "MUSICBRAINZ_ALBUMID"},
    {"MusicBrainz Artist Id", "MUSICBRAINZ_ARTISTID"},
    {"MusicBrainz Album Artist Id", "MUSICBRAINZ_ALBUMARTISTID"},
    {"MusicBrainz Release Group Id", "MUSICBRAINZ_RELEASEGROUPID"},
    {"MusicBrainz Release Track Id", "MUSICBRAINZ_RELEASETRACKID"},
    {"MusicBrainz Work Id", "MUSICBRAINZ_WORKID"},
    {"MusicBrainz Album Type", "RELEASETYPE"},
    {"MusicBrainz Album Status", "RELEASESTATUS"},
    {"MusicBrainz Album Release Country", "RELEASECOUNTRY"},
};

}  // namespace

const char* LTagNameOfId3Frame(const char* id) {
    for (const Pair& p : kFrames)
        if (std::strcmp(id, p.key) == 0) return p.name;
    for (const Pair& p : kFramesRead)
        if (std::strcmp(id, p.key) == 0) return p.name;
    return nullptr;
}

const char* LTagId3FrameOfName(const std::string& name) {
    for (const Pair& p : kFrames)
        if (name == p.name) return p.key;
    return nullptr;
}

std::string LTagNameOfDescription(const std::string& description) {
    for (const Pair& p : kDescriptions)
        if (strcasecmp(description.c_str(), p.key) == 0) return p.name;
    return LTagUpper(description);
}

std::string LTagDescriptionOfName(const std::string& name) {
    for (const Pair& p : kDescriptions)
        if (name == p.name) return p.key;
    return name;
}
