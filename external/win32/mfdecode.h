// Media Foundation's source reader as the first platform decoder, loaded at run time.
#pragma once

#include "external/platdec.h"
#include "support/progress.h"

// Decodes the record's input into its WAV file as 16-bit PCM through the source reader, on a
// worker thread, while the dialog shows progress and serves Cancel; a reader that delivers
// nothing for the record's stall limit fails. LPROCESS_FAILED also where Media Foundation is
// missing (before Windows 7, or stripped) or cannot read the file; no file is left then.
int LMfDecodeToWav(LProgressDialog* dlg, const LDxLoadToWav* d);
