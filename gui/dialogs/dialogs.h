// The dialogs the Windows program shows for the engine's user (convert/user.h): the raw and VOX
// settings, the four encoder settings dialogs and the wave format chooser.
#pragma once

#include <windows.h>

#include "convert/user.h"

// Each returns true when the user pressed OK; the record then holds the choice and every value
// of its section has been stored.
bool LRawSettingsDialogRun(HWND owner, LRawSettings& settings);
bool LMP3EncodeDlgRun(HWND owner, LMP3EncodeSettings& settings);
bool LOggEncodeDlgRun(HWND owner, LOggEncodeSettings& settings);
bool LAACEncodeDlgRun(HWND owner, LAACEncodeSettings& settings);
bool LFlacEncodeDlgRun(HWND owner, LFlacEncodeSettings& settings);
// The dialog of the record's type.
bool LSettingsDialogRun(HWND owner, LSettingsRecordRef record);

// The ACM format chooser on the record (owner null: the active window), listing formats of that
// many channels (0 for all), re-opened while the choice cannot be encoded on this machine. True
// when a format that can be encoded was chosen; false on Cancel.
bool LWaveFormatChoose(HWND owner, LWaveFileFormat& format, int channels, const char* title);
