// CDDB texts: the disc id, the protocol lines, the database entry parser and name cleaning.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "cd/cddb.h"
#include "support/file.h"

namespace {

constexpr int kMaxText = 259;

// Appends as much of add as fits in a 260-character buffer.
void AppendCut(char* dest, const char* add) {
    size_t len = std::strlen(dest);
    size_t room = len < kMaxText ? kMaxText - len : 0;
    size_t n = std::strlen(add);
    if (n > room) n = room;
    std::memcpy(dest + len, add, n);
    dest[len + n] = 0;
}

// The track index written right after the keyword up to "=": 0 to 255, or -1.
int KeywordIndex(const char* p) {
    int value = 0, digits = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > 255) return -1;
        ++digits;
    }
    return digits > 0 && *p == '=' ? value : -1;
}

bool StartsWith(const char* line, const char* keyword) {
    return std::strncmp(line, keyword, std::strlen(keyword)) == 0;
}

// Keeps the first one or joins a continuation line to the value seen before.
void SetOrJoin(char* dest, bool& seen, const char* value) {
    if (seen)
        AppendCut(dest, value);
    else
        LCopyPath(dest, value);
    seen = true;
}

bool IsDeviceName(const char* s, size_t len) {
    static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL"};
    auto same = [&](const char* name) {
        size_t n = std::strlen(name);
        if (n != len) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::toupper(static_cast<unsigned char>(s[i])) != name[i]) return false;
        return true;
    };
    for (const char* name : kNames)
        if (same(name)) return true;
    if (len == 4 && s[3] >= '1' && s[3] <= '9') {
        char stem[4] = {s[0], s[1], s[2], 0};
        for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return std::strcmp(stem, "COM") == 0 || std::strcmp(stem, "LPT") == 0;
    }
    return false;
}

void PrefixUnderscore(char* name) {
    char copy[LMAX_PATH];
    std::snprintf(copy, sizeof copy, "_%s", name);
    LCopyPath(name, copy);
}

// Whole seconds from the disc's start (the 150 frames being the two-second lead-in).
uint32_t DiscSeconds(uint32_t address) {
    return (address + 150) / 75;
}

// The playing time: the whole seconds of the lead-out less those of the first track, as the
// published id counts them (minutes and seconds of each, frames dropped).
uint32_t PlayingSeconds(const uint32_t* starts, int count, uint32_t leadOut) {
    if (count < 1 || DiscSeconds(leadOut) < DiscSeconds(starts[0])) return 0;
    return DiscSeconds(leadOut) - DiscSeconds(starts[0]);
}

}  // namespace

uint32_t CDDBDiscId(const uint32_t* starts, int count, uint32_t leadOut) {
    uint32_t digits = 0;
    for (int i = 0; i < count; ++i)
        for (uint32_t s = DiscSeconds(starts[i]); s > 0; s /= 10) digits += s % 10;
    uint32_t t = PlayingSeconds(starts, count, leadOut);
    return ((digits % 255) << 24) | (t << 8) | static_cast<uint32_t>(count & 0xFF);
}

std::string CDDBQueryLine(const uint32_t* starts, int count, uint32_t leadOut) {
    char part[64];
    std::snprintf(part, sizeof part, "cddb query %08x %d ", CDDBDiscId(starts, count, leadOut),
                  count);
    std::string line = part;
    for (int i = 0; i < count; ++i) {
        std::snprintf(part, sizeof part, "%u ", starts[i] + 150);
        line += part;
    }
    // The disc's length in seconds from its start, lead-in included.
    std::snprintf(part, sizeof part, "%u\n", DiscSeconds(leadOut));
    return line + part;
}

std::string CDDBReadLine(const char* category, const char* discId) {
    return std::string("cddb read ") + category + " " + discId + "\n";
}

int CDDBReplyCode(const char* line) {
    int value = 0, digits = 0;
    for (; *line >= '0' && *line <= '9' && digits < 9; ++line, ++digits)
        value = value * 10 + (*line - '0');
    return digits ? value : -1;
}

void CDDBFillFromToc(LCDDBInfo& info, const uint32_t* starts, int count, uint32_t leadOut) {
    if (count < 0) count = 0;
    if (count > 255) count = 255;
    info.iTracks = static_cast<uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        LCDDBTrackInfo& track = info.Tracks[i];
        std::snprintf(track.TrackName, sizeof track.TrackName, "Track %.2d", i + 1);
        track.iTrackNumber = 0;
        track.szExtendedData[0] = 0;
        track.SectorStart = starts[i];
        track.SectorEnd = i + 1 < count ? starts[i + 1] : leadOut;
        track.iLength = track.SectorEnd > track.SectorStart
                            ? static_cast<int32_t>((track.SectorEnd - track.SectorStart) / 75)
                            : 0;
    }
}

bool LCDDBEntryParser::Feed(const char* line) {
    if (line[0] == '.') return false;
    const char* eq = std::strchr(line, '=');
    if (!eq) return true;
    const char* value = eq + 1;
    if (StartsWith(line, "DTITLE")) {
        SetOrJoin(discTitle_, seenDiscTitle_, value);
        ApplyDiscTitle();
    } else if (StartsWith(line, "TTITLE")) {
        int n = KeywordIndex(line + 6);
        if (n < 0) return true;
        info_.Tracks[n].iTrackNumber = n + 1;
        SetOrJoin(info_.Tracks[n].TrackName, seenTitle_[n], value);
    } else if (StartsWith(line, "EXTD")) {
        SetOrJoin(info_.szExtendedData, seenDiscData_, value);
        // "YEAR: 1992": the year starts 6 characters after "YEAR", when the text goes that far.
        for (const char* year = std::strstr(info_.szExtendedData, "YEAR"); year;
             year = std::strstr(year + 4, "YEAR")) {
            if (std::strlen(year) > 6 && year[6] >= '0' && year[6] <= '9') {
                int32_t y = 0;
                for (int i = 6; i < 15 && year[i] >= '0' && year[i] <= '9'; ++i)
                    y = y * 10 + (year[i] - '0');
                info_.iYear = y;
                break;
            }
        }
    } else if (StartsWith(line, "EXTT")) {
        int n = KeywordIndex(line + 4);
        if (n < 0) return true;
        SetOrJoin(info_.Tracks[n].szExtendedData, seenTrackData_[n], value);
    }
    return true;
}

void LCDDBEntryParser::ApplyDiscTitle() {
    const char* split = std::strstr(discTitle_, " / ");
    if (!split) {
        LCopyPath(info_.szAlbumName, discTitle_);
        return;
    }
    size_t n = static_cast<size_t>(split - discTitle_);
    std::memcpy(info_.szArtist, discTitle_, n);
    info_.szArtist[n] = 0;
    CleanFileName(info_.szAlbumName, split + 3);
}

bool CDDBCleanName(char* dest, const char* text) {
    char clean[LMAX_PATH];
    CleanFileName(clean, text ? text : "");
    const char* start = clean;
    while (*start == ' ') ++start;
    size_t len = std::strlen(start);
    while (len > 0 && start[len - 1] == ' ') --len;
    std::memmove(dest, start, len);
    dest[len] = 0;
    if (IsDeviceName(dest, len)) PrefixUnderscore(dest);
    return dest[0] != 0;
}

bool CDDBSafeComponent(char* name) {
    size_t len = std::strlen(name);
    while (len > 0 && (name[len - 1] == '.' || name[len - 1] == ' ')) --len;
    name[len] = 0;
    if (len == 0) return false;
    for (const char* p = name; *p; ++p)
        if (*p == '/' || *p == '\\' || *p == ':' || static_cast<unsigned char>(*p) < 32)
            return false;
    size_t base = std::strcspn(name, ".");
    while (base > 0 && name[base - 1] == ' ') --base;
    if (IsDeviceName(name, base)) PrefixUnderscore(name);
    return true;
}
