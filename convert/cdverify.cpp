// The batch's discs: their tables of contents, database records, ripped tracks and rip logs.
#include "convert/cdverify.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "cd/arlookup.h"
#include "cd/cddbinfo.h"
#include "cd/toc.h"
#include "store/settingnames.h"
#include "support/file.h"
#include "support/trace.h"
#include "support/version.h"

namespace {

struct RippedTrack {
    int track = 0;  // from 1
    std::string output;
    bool ripOk = false;
    LCDRipFacts facts;
    LARTrackResult result;
};

struct Disc {
    bool tocRead = false;
    uint32_t starts[100] = {};
    uint32_t leadOut = 0;
    LARDiscIds ids;
    bool lookedUp = false;
    LARLookup lookup = LARLookup::Failed;
    std::vector<LARPressing> pressings;
    std::string driveName;
    std::vector<RippedTrack> tracks;
};

// The discs of the running batch, by drive.
std::map<uint8_t, Disc>& Discs() {
    static std::map<uint8_t, Disc> discs;
    return discs;
}

const char* LookupText(const Disc& d) {
    switch (d.lookup) {
        case LARLookup::Found:
            return "found";
        case LARLookup::NotFound:
            return "not in the database";
        case LARLookup::Stopped:
            return "cancelled";
        case LARLookup::Failed:
            break;
    }
    return "the server could not be reached";
}

std::string DiscLog(const Disc& d) {
    char line[512];
    std::string text;
    auto add = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        text += line;
    };
    char server[LMAX_PATH];
    SettingsRead(kARServer, server);
    add("Tamber %s rip log\n\n", TAMBER_VERSION);
    text += "Drive: " + d.driveName + "\n";
    add("Read offset: %d samples\n", d.tracks.empty() ? 0 : d.tracks.front().facts.offset);
    add("Tracks on the disc: %d\n", d.ids.tracks);
    add("AccurateRip disc: %03d-%08x-%08x-%08x\n", d.ids.tracks, unsigned(d.ids.id1),
        unsigned(d.ids.id2), unsigned(d.ids.cddb));
    text += std::string("AccurateRip database (") + server + "): ";
    if (d.lookup == LARLookup::Found)
        add("%d pressing(s)\n\n", int(d.pressings.size()));
    else
        add("%s\n\n", LookupText(d));
    add("Track  Checksum v1  Checksum v2  Re-reads  Result\n");
    int accurate = 0;
    for (const RippedTrack& t : d.tracks) {
        std::string result = LARResultText(t.result);
        result = result.substr(0, result.find(" ["));
        if (!t.ripOk) result += ", read failed";
        if (t.facts.damaged) result += ", damaged";
        add("%5d  %08X     %08X     %8u  %s\n", t.track, unsigned(t.result.v1),
            unsigned(t.result.v2), unsigned(t.facts.rereads), result.c_str());
        text += "       " + t.output + (t.ripOk ? "\n" : " (not kept)\n");
        accurate += t.result.verdict == LARVerdict::Accurate;
    }
    add("\n%d of %d track(s) accurate\n", accurate, int(d.tracks.size()));
    return text;
}

// Writes (first) or adds (later discs of the batch in the same folder) a log.
bool WriteLog(const std::string& path, const std::string& text, bool append) {
    LFile file;
    if (append && file.OpenReadWrite(path.c_str())) {
        const int64_t end = file.GetFileSizeBytes();
        if (end < 0 || !file.Seek(end)) return false;
        const std::string gap = "\n";
        file.Write(gap.data(), int32_t(gap.size()));
    } else if (!file.Create(path.c_str())) {
        return false;
    }
    return file.Write(text.data(), int32_t(text.size())) == int32_t(text.size());
}

}  // namespace

bool LCDStartChecksum(LProgressDialog* dlg, uint8_t drive, int track, LARChecksum& sums) {
    Disc& d = Discs()[drive];
    if (!d.tocRead) {
        std::unique_ptr<LCDDBInfo> info(new LCDDBInfo);
        info->iDrive = drive;
        if (!dlg || LCDReadDiscInfo(dlg, *info) != LPROCESS_OK || info->iTracks < 1 ||
            info->iTracks > 99)
            return false;
        for (int i = 0; i < info->iTracks; ++i) d.starts[i] = info->Tracks[i].SectorStart;
        d.leadOut = info->Tracks[info->iTracks - 1].SectorEnd;
        d.ids = LARComputeDiscIds(d.starts, info->iTracks, d.leadOut);
        d.tocRead = true;
    }
    if (track < 0 || track >= d.ids.tracks) return false;
    const uint32_t end = track + 1 < d.ids.tracks ? d.starts[track + 1] : d.leadOut;
    const uint32_t sectors = end > d.starts[track] ? end - d.starts[track] : 0;
    sums.Start(track + 1, d.ids.tracks, sectors * uint32_t(LCD_SECTOR_FRAMES));
    return true;
}

void LCDVerifyTrack(LConvertEvents& events, LProgressDialog* dlg, int index, uint8_t drive,
                    const char* input, const char* output, int track, const LARChecksum& sums,
                    bool ripOk, const LCDRipFacts& facts) {
    auto found = Discs().find(drive);
    if (found == Discs().end() || !found->second.tocRead) return;
    Disc& d = found->second;
    if (d.driveName.empty()) {
        char folder[LMAX_PATH];
        LFile::_GetFolderFromPath(folder, input);
        d.driveName = folder;
    }
    if (!d.lookedUp) {
        d.lookedUp = true;
        d.lookup = ProcessARLookup(dlg, d.ids, d.pressings);
    }
    RippedTrack t;
    t.track = track + 1;
    t.output = output ? output : "";
    // Only a track read whole, without a failure or a damaged sector, can be accurate.
    t.ripOk = ripOk && !facts.damaged && sums.Frames() == sums.Length();
    t.facts = facts;
    t.result = LARCompare(d.pressings, t.track, sums.V1(), sums.V2(), t.ripOk);
    d.tracks.push_back(t);
    events.TrackVerified(index, t.track, t.result);
    if (dlg) {
        dlg->SetText(LARReportLine(t.track, t.result).c_str(), 1);
    }
}

void LCDEndVerifyBatch() {
    std::set<std::string> written;
    for (const auto& [drive, d] : Discs()) {
        if (d.tracks.empty()) continue;
        const RippedTrack* first = &d.tracks.front();
        char folder[LMAX_PATH];
        LFile::_GetFolderFromPath(folder, first->output.c_str());
        std::string path = folder;
        if (!path.empty() && !LIsPathSeparator(path.back())) path += LPATH_SEP;
        path += kCDRipLogName;
        if (path.size() >= size_t(LMAX_PATH)) continue;  // a cut name would be another file
        const bool again = written.count(path) > 0;
        if (!WriteLog(path, DiscLog(d), again))
            LTrace("LCDEndVerifyBatch cannot write the rip log");
        written.insert(path);
    }
    Discs().clear();
}
