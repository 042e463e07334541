// The encoder settings dialogs ("Encoder Settings..."): each edits one settings record.
#pragma once

#include "store/encsettings.h"
#include "support/progress.h"

// Each returns true when the user pressed OK; the record then holds the choice and every value
// of its section has been stored. Where the platform has no dialogs they return false at once.
bool LMP3EncodeDlgRun(LWindowHandle owner, LMP3EncodeSettings& settings);
bool LOggEncodeDlgRun(LWindowHandle owner, LOggEncodeSettings& settings);
bool LAACEncodeDlgRun(LWindowHandle owner, LAACEncodeSettings& settings);
bool LFlacEncodeDlgRun(LWindowHandle owner, LFlacEncodeSettings& settings);

// The dialog of an output extension (".mp3", ".ogg", ".flac", ".aac", ".m4a") on the record of
// that format: 1 when confirmed, 0 when cancelled or the extension has no encoder dialog.
int LEncoderSettingsDialog(const char* extension, LWindowHandle owner, void* record);
