// The disc record's table-of-contents part: sector ranges, lengths and default track names.
#include <cstdio>

#include "cd/cddbinfo.h"
#include "cd/scsi.h"
#include "cd/toc.h"
#include "support/trace.h"

int LCDReadDiscInfo(LProgressDialog* dlg, LCDDBInfo& info) {
    dlg->SetText("Loading Table of Contents", 0);
    dlg->SetText("Please wait...", 1);
    LSCSI drive;
    if (!drive.OpenCDROMDrive(info.iDrive)) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "Process(LCDDBInfo) scsi.OpenCDROMDrive(Data.iDrive) FAILED Data.iDrive=%d",
                      info.iDrive);
        LTrace(text);
        return LPROCESS_FAILED;
    }
    uint32_t addresses[256] = {};
    int status = ProcessSCSICDGetTOC(dlg, drive, info.iTracks, addresses);
    if (status != LPROCESS_OK) {
        LTrace("Process(LCDDBInfo) ProcessSCSICDGetTOC FAILED");
        return status;
    }
    for (int i = 0; i < info.iTracks; ++i) {
        LCDDBTrackInfo& t = info.Tracks[i];
        std::snprintf(t.TrackName, sizeof t.TrackName, "Track %.2d", i + 1);
        t.szExtendedData[0] = 0;
        t.SectorStart = addresses[i];
        t.SectorEnd = addresses[i + 1];
        t.iLength = t.SectorEnd > t.SectorStart ? int32_t((t.SectorEnd - t.SectorStart) / 75) : 0;
    }
    return LPROCESS_OK;
}
