// CD drives by device path on Linux, and the command line's names for their tracks.
#include "cd/drives.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cd/posix/sgio.h"
#include "cd/scsi.h"
#include "cd/toc.h"
#include "support/file.h"

namespace {

// Two names of one device: equal text, or the same device node (/dev/cdrom -> /dev/sr0).
bool SameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && S_ISBLK(sa.st_mode) &&
           sa.st_rdev == sb.st_rdev;
}

uint8_t DriveOfDevice(const std::string& device) {
    // An existing file or folder is no drive: the files of a batch skip the search.
    struct stat st;
    if (::stat(device.c_str(), &st) == 0 && !S_ISBLK(st.st_mode)) return LCD_NO_DRIVE;
    std::vector<std::string> drives = LSGGetDevices().List();
    for (size_t i = 0; i < drives.size() && i < LCD_NO_DRIVE; ++i)
        if (SameDevice(drives[i], device)) return uint8_t(i);
    return LCD_NO_DRIVE;
}

// The progress surface of the short TOC read made while the command line is parsed.
class QuietProgress : public LProgressDialog {
  public:
    QuietProgress() : LProgressDialog("") {}
    bool PumpMessages() override { return false; }
    void SetText(const char*, int) override {}
    void SetProgress(double) override {}

  protected:
    bool ProcessBody() override { return true; }
};

}  // namespace

uint8_t LCDDriveOfLetter(char) {
    return LCD_NO_DRIVE;
}

uint8_t LCDDriveOfArgument(const char* argument) {
    return argument && argument[0] ? DriveOfDevice(argument) : LCD_NO_DRIVE;
}

uint8_t LCDMapPathToDrive(const char* path) {
    char folder[LMAX_PATH];
    LFile::_GetFolderFromPath(folder, path);
    size_t n = std::strlen(folder);
    while (n > 1 && folder[n - 1] == '/') folder[--n] = 0;
    return DriveOfDevice(folder);
}

bool LCDTrackArguments(const char* argument, std::vector<std::string>& entries,
                       std::vector<uint32_t>& sizes) {
    std::string device = argument;
    int only = 0;  // a 1-based track number, or 0 for all
    if (size_t hash = device.rfind('#'); hash != std::string::npos) {
        char* end = nullptr;
        long n = std::strtol(device.c_str() + hash + 1, &end, 10);
        if (hash + 1 == device.size() || *end || n < 1 || n > 99) return false;
        only = int(n);
        device.resize(hash);
    }
    uint8_t drive = DriveOfDevice(device);
    if (drive == LCD_NO_DRIVE) return false;
    LSCSI scsi;
    QuietProgress quiet;
    uint8_t tracks = 0;
    uint32_t addresses[256];
    if (!scsi.OpenCDROMDrive(drive) ||
        ProcessSCSICDGetTOC(&quiet, scsi, tracks, addresses) != LPROCESS_OK)
        tracks = 0;
    for (int t = 1; t <= tracks; ++t) {
        if (only && t != only) continue;
        char entry[LMAX_PATH];
        std::snprintf(entry, sizeof entry, "%s/Track%02d.cda", device.c_str(), t);
        entries.push_back(entry);
        uint32_t span = addresses[t] > addresses[t - 1] ? addresses[t] - addresses[t - 1] : 0;
        sizes.push_back(span > UINT32_MAX / LCD_SECTOR_BYTES ? UINT32_MAX
                                                             : span * LCD_SECTOR_BYTES);
    }
    // A named track beyond the disc is still an entry: its conversion fails and says so.
    if (only && entries.empty()) {
        char entry[LMAX_PATH];
        std::snprintf(entry, sizeof entry, "%s/Track%02d.cda", device.c_str(), only);
        entries.push_back(entry);
        sizes.push_back(0);
    }
    return true;
}
