// AccurateRip database replies from an untrusted server: every record kept is the disc's, with
// one entry per track, and a track compares without reading past them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cd/accuraterip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The disc is told by the reply's first record when there is one, so that the records
    // past the first are reached too.
    LARDiscIds disc;
    disc.tracks = size > 0 ? data[0] : 1;
    if (size >= 13) {
        disc.id1 = uint32_t(data[1]) | uint32_t(data[2]) << 8 | uint32_t(data[3]) << 16 |
                   uint32_t(data[4]) << 24;
        disc.id2 = uint32_t(data[5]) | uint32_t(data[6]) << 8 | uint32_t(data[7]) << 16 |
                   uint32_t(data[8]) << 24;
        disc.cddb = uint32_t(data[9]) | uint32_t(data[10]) << 8 | uint32_t(data[11]) << 16 |
                    uint32_t(data[12]) << 24;
    }
    std::vector<LARPressing> pressings;
    const bool ok = LARParseReply(data, size, disc, pressings);
    if (ok == pressings.empty()) std::abort();
    for (const LARPressing& p : pressings)
        if (!(p.ids == disc) || p.tracks.size() != size_t(disc.tracks)) std::abort();
    for (int track = 0; track <= disc.tracks + 1; ++track) {
        const LARTrackResult r = LARCompare(pressings, track, 0x12345678u, 0x9abcdef0u, true);
        if (r.verdict == LARVerdict::Accurate && r.matched != r.v1 && r.matched != r.v2)
            std::abort();
        LARReportLine(track, r);
    }
    return 0;
}
