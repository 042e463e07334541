// The tags of an audio file: named text fields (UTF-8) and pictures, read from and written to
// every format that carries them, chosen by the file's extension.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class LFile;

constexpr int LID3_GENRE_COUNT = 148;
// The ID3v1 genre names with the Winamp extensions, index 0 "Blues" to 147 "Synthpop".
extern const char* const kId3Genres[LID3_GENRE_COUNT];

// Bounds on what any reader takes from a file: larger items are left out unread.
constexpr size_t LTAG_MAX_VALUE = 65536;        // bytes of one text value
constexpr size_t LTAG_MAX_PICTURE = 16u << 20;  // bytes of one picture
constexpr size_t LTAG_MAX_PICTURES = 16;        // pictures per file
constexpr size_t LTAG_MAX_FIELDS = 512;         // text fields per file
constexpr size_t LTAG_MAX_BLOCK = 48u << 20;    // one tag block (all pictures included)

struct LTagPicture {
    uint8_t type = 3;  // as ID3v2 and FLAC number them: 3 is the front cover
    std::string mime;
    std::string description;  // UTF-8
    std::vector<uint8_t> data;
    bool operator==(const LTagPicture&) const = default;
};

// Field names are those of Vorbis comments, upper case: "TITLE", "ARTIST", "ALBUMARTIST",
// "ALBUM", "TRACKNUMBER", "TRACKTOTAL", "DISCNUMBER", "DISCTOTAL", "DATE", "GENRE", "COMPOSER",
// "COMMENT", "LYRICS", "REPLAYGAIN_TRACK_GAIN" and the like, "MUSICBRAINZ_TRACKID" and the
// like; any other field keeps its own name. Each format maps them to its own keys.
class LAudioTagData {
  public:
    // Sets a tag: an existing name (exact match) gets the new value, else the pair goes first.
    // Values are kept up to LTAG_MAX_VALUE bytes (cut before a whole character).
    void Set(const char* name, const char* value);
    void Set(const std::string& name, const std::string& value);
    // Sets the tag only where it has no non-empty value yet.
    void SetMissing(const std::string& name, const std::string& value);
    // The value, or defaultValue when the name is missing.
    const char* Get(const char* name, const char* defaultValue = "") const;
    // Drops every field and picture.
    void Clear() {
        items_.clear();
        pictures_.clear();
    }
    bool Empty() const { return items_.empty() && pictures_.empty(); }
    const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

    const std::vector<LTagPicture>& Pictures() const { return pictures_; }
    // False (and nothing kept) past LTAG_MAX_PICTURES or for a picture past LTAG_MAX_PICTURE.
    bool AddPicture(LTagPicture picture);
    void ClearPictures() { pictures_.clear(); }

    // By extension (any case): MP3 (ID3v2, APEv2, ID3v1), WAV, AIFF, FLAC, Ogg and Opus, MP4,
    // WavPack and Monkey's Audio (APEv2). False for other files or when nothing was read.
    bool ReadTags(const char* path);
    // By extension, into a complete file; false for formats that carry no tags or on failure.
    bool WriteTags(const char* path);
    // Whether WriteTags knows the extension.
    static bool CanWrite(const char* extension);

    // ID3v2 at the start and ID3v1.1 at the last 128 bytes of an MP3 file (and APEv2 before it).
    bool ReadTagsMp3(const char* path);
    // ID3v2.3 at the start (replacing any there) and ID3v1.1 at the end (updated in place).
    bool WriteTagsMP3(const char* path);
    // Reads a WAV file's INFO, DISP and "id3 " tags; replace: every found tag is set, otherwise
    // only tags without a non-empty value yet. False when the file cannot be opened.
    bool UpdateTags(const char* path, bool replace);
    // Writes the tags into a WAV file, reusing the INFO slots of equal size, appending the
    // rest, plus an "id3 " chunk for what INFO cannot hold (pictures, other fields, text
    // beyond ASCII).
    bool WriteTagsWav(const char* path);

    // The file is open and the path has the extension (case-insensitive).
    static bool CheckFile(const char* extension, const char* path, const LFile& file);

  private:
    std::vector<std::pair<std::string, std::string>> items_;
    std::vector<LTagPicture> pictures_;
};

// Splits "3/12" into the number field and (when given) the total field.
void LTagSetNumberPair(LAudioTagData& tags, const char* numberName, const char* totalName,
                       const std::string& text, bool onlyMissing = false);
// "3/12", "3" or "" from the two fields.
std::string LTagNumberPair(const LAudioTagData& tags, const char* numberName,
                           const char* totalName);
// The genre name of an ID3v1 index (its decimal text above 147).
std::string LTagGenreName(unsigned index);
// Upper-cases ASCII letters.
std::string LTagUpper(std::string s);
