// The raw and VOX audio settings dialog ("LRawDlg"): codec, sample rate and channels.
#pragma once

#include "store/encsettings.h"
#include "support/progress.h"

// Shows the dialog on the record; true when it was confirmed with OK, the record then holds and
// has stored the new values. Builds without dialogs keep the stored values and return true.
bool LRawSettingsDialogRun(LWindowHandle owner, LRawSettings& settings);

// The codec names, in the order of the codec numbers.
constexpr int LRAW_CODEC_COUNT = 7;
extern const char* const kRawCodecNames[LRAW_CODEC_COUNT];
