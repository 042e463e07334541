// The dialogs the Windows program shows for the engine's user (convert/user.h): the raw and VOX
// settings, the encoder settings dialogs and the wave format chooser.
#pragma once

#include <windows.h>

#include "convert/user.h"

// The dialog of the record's type: true when the user pressed OK; the record then holds the
// choice and every value of its section has been stored.
bool LSettingsDialogRun(HWND owner, LRawSettings& settings);
bool LSettingsDialogRun(HWND owner, LMP3EncodeSettings& settings);
bool LSettingsDialogRun(HWND owner, LOggEncodeSettings& settings);
bool LSettingsDialogRun(HWND owner, LAACEncodeSettings& settings);
bool LSettingsDialogRun(HWND owner, LFlacEncodeSettings& settings);
bool LSettingsDialogRun(HWND owner, LOpusEncodeSettings& settings);
bool LSettingsDialogRun(HWND owner, LSettingsRecordRef record);

// The ACM format chooser on the record (owner null: the active window), listing formats of that
// many channels (0 for all), re-opened while the choice cannot be encoded on this machine. True
// when a format that can be encoded was chosen; false on Cancel.
bool LWaveFormatChoose(HWND owner, LWaveFileFormat& format, int channels, const char* title);
