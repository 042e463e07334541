// Wiring of the built-in readers and of the raw settings dialog.
#include "convert/readers.h"

#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/gsm.h"
#include "formats/mp3.h"
#include "formats/raw.h"

LSourceRef LGenOpenMp3Reader(const char* path) {
    return new LMP3Source(path);
}

LSourceRef LGenOpenAiffReader(const char* path) {
    return LAifFile::OpenSource(path);
}

LSourceRef LGenOpenAuReader(const char* path) {
    return LAuFile::OpenSource(path);
}

LSourceRef LGenOpenGsmReader(const char* path) {
    return new LGSMFileSource(path);
}

LSourceRef LGenOpenRawReader(const char* path, const LRawSettings& settings) {
    return LRawFile::OpenSource(path, settings);
}
