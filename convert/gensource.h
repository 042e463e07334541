// Opening an input file as a sound source, choosing the reader by the file's extension.
#pragma once

#include <cstdint>

#include "convert/user.h"
#include "core/sound.h"
#include "support/progress.h"

// Interaction record of the interactive variant: the prompt-once flag (owned by the caller,
// set to 1 at the start of a batch) and the user who is shown dialogs and messages.
struct LGenSourceInteraction {
    uint8_t* promptOnce;
    LUser& user;
};

// Interactive variant: outside decoders run behind their own progress dialogs, raw and VOX files
// may prompt for their settings, and at most one message is shown per batch.
// Returns 0 (out holds the source, which may still carry an error code), 1 stopped, 2 failed
// (the user has been told, unless the prompt-once flag suppressed it). out always holds a source.
int LGenSourceOpen(LSourceRef& out, const char* path, LGenSourceInteraction* interaction);
// Quiet variant: decoders run inside the caller's progress dialog, stored raw/VOX settings are
// used without asking, and messages go through the dialog's ShowError.
int LGenSourceOpen(LSourceRef& out, const char* path, LProgressDialog* dlg);
