// Choosing the encoder settings dialog by output extension.
#include "external/encdialogs.h"

#include <strings.h>

int LEncoderSettingsDialog(const char* extension, LWindowHandle owner, void* record) {
    if (!extension || !record) return 0;
    bool ok = false;
    if (strcasecmp(extension, ".mp3") == 0)
        ok = LMP3EncodeDlgRun(owner, *static_cast<LMP3EncodeSettings*>(record));
    else if (strcasecmp(extension, ".ogg") == 0)
        ok = LOggEncodeDlgRun(owner, *static_cast<LOggEncodeSettings*>(record));
    else if (strcasecmp(extension, ".flac") == 0)
        ok = LFlacEncodeDlgRun(owner, *static_cast<LFlacEncodeSettings*>(record));
    else if (strcasecmp(extension, ".aac") == 0 || strcasecmp(extension, ".m4a") == 0)
        ok = LAACEncodeDlgRun(owner, *static_cast<LAACEncodeSettings*>(record));
    return ok ? 1 : 0;
}
