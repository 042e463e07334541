// The raw and VOX settings dialog as the input and output tables call it.
#include "app/rawdlg.h"
#include "convert/readers.h"

int LGenRawSettingsDialog(LWindowHandle owner, LRawSettings& settings) {
    return LRawSettingsDialogRun(owner, settings) ? 1 : 0;
}
