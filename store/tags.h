// Audio tags: title, artist and the like, read from and written to MP3 (ID3v1.1) and WAV
// (RIFF "LIST"/"INFO" and "DISP") files.
#pragma once

#include <string>
#include <utility>
#include <vector>

class LFile;

constexpr int LID3_GENRE_COUNT = 148;
// The ID3v1 genre names with the Winamp extensions, index 0 "Blues" to 147 "Synthpop".
extern const char* const kId3Genres[LID3_GENRE_COUNT];

class LAudioTagData {
  public:
    // Sets a tag: an existing name (exact match) gets the new value, else the pair goes first.
    // Values are kept up to 259 characters.
    void Set(const char* name, const char* value);
    // The value, or defaultValue when the name is missing.
    const char* Get(const char* name, const char* defaultValue = "") const;
    void Clear() { items_.clear(); }
    bool Empty() const { return items_.empty(); }
    const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }

    // By extension (".mp3" or ".wav", any case); false for other files or when nothing was read.
    bool ReadTags(const char* path);
    // By extension; false for other files or on failure.
    bool WriteTags(const char* path);

    // ID3v1.1 at the last 128 bytes of an MP3 file.
    bool ReadTagsMp3(const char* path);
    bool WriteTagsMP3(const char* path);
    // Reads a WAV file's INFO and DISP tags; replace: every found tag is set, otherwise only
    // tags without a non-empty value yet. False when the file cannot be opened.
    bool UpdateTags(const char* path, bool replace);
    // Writes the tags into a WAV file, reusing the slots of equal size, appending the rest.
    bool WriteTagsWav(const char* path);

    // The file is open and the path has the extension (case-insensitive).
    static bool CheckFile(const char* extension, const char* path, const LFile& file);

  private:
    void SetByRule(const char* name, const char* value, bool replace);
    std::vector<std::pair<std::string, std::string>> items_;
};
