// The built-in readers behind LGenSourceOpen's table, and the raw settings dialog it may show.
#pragma once

#include "store/encsettings.h"
#include "core/sound.h"
#include "support/progress.h"

LSourceRef LGenOpenMp3Reader(const char* path);
LSourceRef LGenOpenAiffReader(const char* path);
LSourceRef LGenOpenAuReader(const char* path);
LSourceRef LGenOpenGsmReader(const char* path);
LSourceRef LGenOpenRawReader(const char* path, const LRawSettings& settings);

// The raw/VOX settings dialog ("LRawDlg") on the record: 1 when confirmed (record updated).
// Where no dialog exists the stored values stand and the result is 1.
int LGenRawSettingsDialog(LWindowHandle owner, LRawSettings& settings);
