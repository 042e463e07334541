// CDDB replies from an untrusted server: the entry parser and the name cleaning keep every
// field within its buffer, and no cleaned name can hold a separator or climb out of a folder.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cd/cddb.h"
#include "support/file.h"

namespace {

void CheckText(const char* text) {
    if (strnlen(text, LMAX_PATH) > LMAX_PATH - 1) std::abort();
}

void CheckName(const char* name) {
    CheckText(name);
    for (const char* c = name; *c; ++c)
        if (std::strchr("\"*./:<>?\\|", *c) || static_cast<unsigned char>(*c) < 32) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LCDDBInfo info;
    info = LCDDBInfo{};
    const uint32_t starts[] = {0, 15000, 30000};
    CDDBFillFromToc(info, starts, 3, 45000);
    LCDDBEntryParser parser(info);
    // Lines as the socket layer hands them over: without line ends, cut at 259 characters.
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t end = all.find('\n', pos);
        if (end == std::string::npos) end = all.size();
        std::string line = all.substr(pos, end - pos).substr(0, 259);
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        CDDBReplyCode(line.c_str());
        if (!parser.Feed(line.c_str())) break;
        pos = end + 1;
    }
    CheckText(info.szAlbumName);
    CheckText(info.szArtist);
    CheckText(info.szExtendedData);
    char name[LMAX_PATH];
    for (const char* text : {info.szAlbumName, info.szArtist, info.szExtendedData}) {
        if (CDDBCleanName(name, text)) CheckName(name);
    }
    for (const LCDDBTrackInfo& t : info.Tracks) {
        CheckText(t.TrackName);
        CheckText(t.szExtendedData);
        if (t.iTrackNumber < 0 || t.iTrackNumber > 256) std::abort();
        if (CDDBCleanName(name, t.TrackName)) CheckName(name);
    }
    std::string component = all.substr(0, 259);
    std::strcpy(name, component.c_str());
    if (CDDBSafeComponent(name)) {
        if (!std::strcmp(name, "..") || !std::strcmp(name, ".") || std::strpbrk(name, "/\\:"))
            std::abort();
    }
    return 0;
}
