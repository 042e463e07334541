// The conversion job: every selected list entry into the chosen output format.
#pragma once

#include <cstdint>

#include "convert/host.h"
#include "core/sound.h"
#include "support/file.h"
#include "support/progress.h"

// Conversion record, filled by the caller.
struct LConvertJob {
    LConvertHost* mainWindow = nullptr;
    char outputExtension[LMAX_PATH] = {};
    // 1: open errors and the raw settings dialog may be shown (the convert command); 0: not.
    uint8_t promptOnce = 0;
    // How the batch ended, for callers that report it: LPROCESS_OK when every entry was
    // converted or skipped, LPROCESS_STOPPED when the user stopped it (overwrite Cancel, a
    // cancelled open or transfer), LPROCESS_FAILED when an entry failed.
    int outcome = LPROCESS_OK;
};

// Status: LPROCESS_OK when the batch ran to its end (also when the overwrite rule or an open
// failure ended it), LPROCESS_FAILED for an unsupported output format or an output that could
// not be written completely, LPROCESS_STOPPED when the user cancelled (no message then). Every
// output is written under a passing name next to its place ("_" + name for the input itself,
// "~" + name otherwise, or a free variant of it) and takes its name only once it is complete
// and tagged, so that a failure never touches the input or an older output.
int ProcessConvert(LProgressDialog* dlg, LConvertJob* job);
inline int Process(LProgressDialog* dlg, LConvertJob* job) {
    return ProcessConvert(dlg, job);
}

// The Convert command: checks the format and the output folder (creating one level on
// consent), then runs the job behind a progress dialog "Saving Audio File". True when the
// job's status is LPROCESS_OK. outcome (optional) receives the job's outcome.
bool LRunConvert(LConvertHost& host, bool interactive, int* outcome = nullptr);
// Its checks before a batch: the format can be written, the output folder exists (created on
// consent). False, the user told, when the batch cannot run.
bool LPrepareConvert(LConvertHost& host, const char* outputExtension);

// The transfer step of the job: pumps source into sink behind the dialog (title on line 0).
int LConvertTransfer(LProgressDialog* dlg, const char* title, const LSourceRef& source,
                     const LSinkRef& sink);
