// Wiring of the built-in readers. A reader that is not part of this build answers like a file
// it cannot read: error 4 when the file cannot be opened, else error 3.
#include "convert/readers.h"

#include "convert/fileops_compat.h"
#include "support/trace.h"

namespace {

LSourceRef Unavailable(const char* path, const char* what) {
    LTrace(what);
    return new LSRCNull(LFileExists(path) ? LSRC_ERR_INVALID : LSRC_ERR_OPEN);
}

}  // namespace

LSourceRef LGenOpenMp3Reader(const char* path) {
    return Unavailable(path, "LGenSourceOpen no MP3 reader in this build");
}

LSourceRef LGenOpenAiffReader(const char* path) {
    return Unavailable(path, "LGenSourceOpen no AIFF reader in this build");
}

LSourceRef LGenOpenAuReader(const char* path) {
    return Unavailable(path, "LGenSourceOpen no AU reader in this build");
}

LSourceRef LGenOpenGsmReader(const char* path) {
    return Unavailable(path, "LGenSourceOpen no GSM reader in this build");
}

LSourceRef LGenOpenRawReader(const char* path, const LRawSettings&) {
    return Unavailable(path, "LGenSourceOpen no raw reader in this build");
}

int LGenRawSettingsDialog(LWindowHandle, LRawSettings&) {
    return 1;
}
