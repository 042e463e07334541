// CDDB replies from an untrusted server: fields stay in their buffers, names in their folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cd/cddb.h"
#include "support/file.h"

static void CheckName(const char* text) {
    char name[LMAX_PATH];
    if (strnlen(text, LMAX_PATH) > LMAX_PATH - 1) std::abort();
    if (!CDDBCleanName(name, text)) return;
    for (const unsigned char* c = reinterpret_cast<unsigned char*>(name); *c; ++c)
        if (*c < 32 || *c >= 128 || std::strchr("\"*./:<>?\\|", *c)) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LCDDBInfo info;
    info = LCDDBInfo{};
    const uint32_t starts[] = {0, 15000, 30000};
    CDDBFillFromToc(info, starts, 3, 45000);
    LCDDBEntryParser parser(info);
    // Lines as the socket layer hands them over: no carriage return or line feed, at most 259.
    std::string all(reinterpret_cast<const char*>(data), size), line;
    for (size_t i = 0; i <= all.size(); ++i) {
        if (i < all.size() && all[i] != '\n') {
            if (all[i] != '\r' && line.size() < 259) line += all[i];
            continue;
        }
        CDDBReplyCode(line.c_str());
        if (!parser.Feed(line.c_str())) break;
        line.clear();
    }
    for (const char* text : {info.szAlbumName, info.szArtist, info.szExtendedData}) CheckName(text);
    for (const LCDDBTrackInfo& t : info.Tracks) {
        CheckName(t.TrackName);
        CheckName(t.szExtendedData);
        if (t.iTrackNumber < 0 || t.iTrackNumber > 256) std::abort();
    }
    char name[LMAX_PATH];
    std::snprintf(name, sizeof name, "%s", all.substr(0, 259).c_str());
    if (CDDBSafeComponent(name) &&
        (!std::strcmp(name, "..") || !std::strcmp(name, ".") || std::strpbrk(name, "/\\:")))
        std::abort();
    return 0;
}
