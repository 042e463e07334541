// The headless build has no dialogs: the encoder settings are edited in the settings store.
#include "external/encdialogs.h"

bool LMP3EncodeDlgRun(LWindowHandle, LMP3EncodeSettings&) {
    return false;
}
bool LOggEncodeDlgRun(LWindowHandle, LOggEncodeSettings&) {
    return false;
}
bool LAACEncodeDlgRun(LWindowHandle, LAACEncodeSettings&) {
    return false;
}
bool LFlacEncodeDlgRun(LWindowHandle, LFlacEncodeSettings&) {
    return false;
}
