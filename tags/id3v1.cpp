// Reading and filling ID3v1.1 tags.
#include "tags/id3v1.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Copies value into the field: a non-empty value truncated and zero-padded; the field's last
// byte is then zeroed when zeroLast.
void Store(uint8_t* field, size_t size, const char* value, bool zeroLast) {
    if (*value) {
        const std::string latin = LTextToLatin1(value);
        const size_t n = std::min(latin.size(), size);
        std::memset(field, 0, size);
        std::memcpy(field, latin.data(), n);
    }
    if (zeroLast) field[size - 1] = 0;
}

std::string Field(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len]) ++len;
    return LTextFromLatin1(LBytes(p, len));
}

}  // namespace

bool LId3v1Parse(LBytes bytes, LAudioTagData& tags) {
    if (bytes.size() < LID3V1_SIZE || std::memcmp(bytes.data(), "TAG", 3) != 0) return false;
    const uint8_t* tag = bytes.data();
    tags.Set("TITLE", Field(tag + 3, 29));
    tags.Set("ARTIST", Field(tag + 33, 29));
    tags.Set("ALBUM", Field(tag + 63, 29));
    tags.Set("DATE", Field(tag + 93, 4));
    if (tag[125] != 0 || tag[126] == 0) {
        tags.Set("COMMENT", Field(tag + 97, 29));
    } else {
        tags.Set("COMMENT", Field(tag + 97, 28));
        tags.Set("TRACKNUMBER", std::to_string(tag[126]));
    }
    tags.Set("GENRE", LTagGenreName(tag[127]));
    return true;
}

void LId3v1Fill(uint8_t* tag, const LAudioTagData& tags) {
    std::memcpy(tag, "TAG", 3);
    Store(tag + 3, 30, tags.Get("TITLE"), true);
    Store(tag + 33, 30, tags.Get("ARTIST"), true);
    Store(tag + 63, 30, tags.Get("ALBUM"), true);
    Store(tag + 93, 4, tags.Get("DATE"), false);
    Store(tag + 97, 29, tags.Get("COMMENT"), true);
    if (const char* track = tags.Get("TRACKNUMBER"); *track) tag[126] = uint8_t(std::atoi(track));
    if (const char* genre = tags.Get("GENRE"); *genre) {
        if (*genre >= '0' && *genre <= '9') {
            tag[127] = uint8_t(std::atoi(genre));
        } else {
            for (int i = 0; i < LID3_GENRE_COUNT; ++i) {
                if (strcasecmp(genre, kId3Genres[i]) == 0) {
                    tag[127] = uint8_t(i);
                    break;
                }
            }
        }
    }
}
