// The conversion job: a request's entries into the chosen output format, told as events.
#pragma once

#include <cstdint>

#include "convert/events.h"
#include "convert/host.h"
#include "convert/jobrecord.h"
#include "convert/request.h"
#include "core/sound.h"
#include "support/progress.h"

// Status: LPROCESS_OK when the batch ran to its end (also when the overwrite rule or an open
// failure ended it), LPROCESS_FAILED for an unsupported output format or an output that could
// not be written completely, LPROCESS_STOPPED when the user cancelled (no message then). Every
// output is written under a passing name next to its place ("_" + name for the input itself,
// "~" + name otherwise, or a free variant of it) and takes its name only once it is complete
// and tagged, so that a failure never touches the input or an older output.
int LConvertBatch(LProgressDialog* dlg, LConvertJob* job);
// A request for the front end's output format and folder, with nothing else filled in yet.
LConvertRequest LRequestForBoxes(LConvertHost& host);
// Its checks before a batch: the format can be written, the output folder exists (created on
// consent). False, the user told, when the batch cannot run.
bool LPrepareConvert(LConvertEvents& events, const LConvertRequest& request);
// The start of a batch: the folder text goes into its history, the selected entries are reset,
// nothing selected means all; the request gets the selected entries and the stored rules.
void LFillRequest(LConvertHost& host, LConvertRequest& request, bool interactive);
// Runs a prepared request behind a progress dialog "Saving Audio File". True when the job's
// status is LPROCESS_OK; outcome (optional) receives the job's outcome.
bool LRunRequest(const LConvertRequest& request, LConvertEvents& events, int* outcome);

// The Convert command: the request from the front end's list and boxes, checked, run.
bool LRunConvert(LConvertHost& host, bool interactive, int* outcome = nullptr);
