// The outside decoders behind LGenSourceOpen: each writes a temporary WAV file.
#pragma once

#include "support/progress.h"

struct LGenDecoder {
    const char* title;  // progress title of the interactive variant
    // Runs the decoder with the given dialog: input path, temporary WAV path -> process status.
    int (*run)(LProgressDialog* dlg, const char* input, const char* wav);
    // True for the platform decoders, whose failures LGenSourceOpen reports itself.
    bool messages;
};

// The decoder for an extension (the DirectShow row for anything not listed).
const LGenDecoder& LGenFindDecoder(const char* extension);
// Runs the decoder behind a new progress dialog with its title, owned by owner.
int LGenRunDecoderDialog(const LGenDecoder& decoder, LWindowHandle owner, const char* input,
                         const char* wav);
