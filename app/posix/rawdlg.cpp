// Headless builds have no settings dialog: the stored raw settings stand.
#include "app/rawdlg.h"

bool LRawSettingsDialogRun(LWindowHandle, LRawSettings&) {
    return true;
}
