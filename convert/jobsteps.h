// The conversion job's steps for one entry, shared by the one-at-a-time and the parallel batch.
#pragma once

#include "convert/entrypaths.h"
#include "convert/jobrecord.h"
#include "convert/overwrite.h"
#include "convert/request.h"
#include "core/sound.h"
#include "support/file.h"
#include "support/progress.h"
#include "tags/tagdata.h"

// What the steps of a batch share: where they report, and the batch's state. A parallel batch
// gives each running entry its own (its surface, events that reach the front end's thread).
struct LJobBatch {
    LProgressDialog* dlg;
    LConvertJob* job;
    const LConvertRequest& request;
    LConvertEvents& events;
    const char* outExt;
    LOverwriteState overwrite = {};
    LAudioTagData tags = {};
};

// One entry's input and where its output goes.
struct LJobEntry {
    int index = 0;
    const char* input = nullptr;
    char name[LMAX_PATH] = {};  // the input's file name without its extension
    char inExt[LMAX_PATH] = {};
    LEntryPaths paths = {};
};

// How a step of an entry ends, besides a status that ends the batch at once.
constexpr int kJobGoOn = -1;        // the entry's next step follows
constexpr int kJobNextEntry = -2;   // the entry is done with; the batch goes on
constexpr int kJobEndOfBatch = -3;  // the batch ends as if every entry had been done

// The entry's names and paths: false (the user told, the entry failed) when its output path
// would not fit.
bool LJobPlanEntry(LJobBatch& b, const LConvertEntry& entry, LJobEntry& e);
// The overwrite rule: kJobGoOn, kJobNextEntry (skipped) or LPROCESS_OK (the user stopped the
// batch: the rest of the entries count as failed).
int LJobApplyOverwriteRule(LJobBatch& b, const LJobEntry& e);
// A CD track: kJobNextEntry, or LPROCESS_STOPPED when its rip was cancelled.
int LJobConvertTrack(LJobBatch& b, const LJobEntry& e);
bool LJobIsTrack(const LJobEntry& e);
// Opens the input (with the user's prompts when the window is shown and the request is
// interactive); LPROCESS_OK, else the entry failed and the batch ends (kJobEndOfBatch follows).
int LJobOpenInput(LJobBatch& b, const LJobEntry& e, LSourceRef& source);
// True when opening an input may prompt the user (it then runs on the front end's thread).
bool LJobOpenPrompts(const LJobBatch& b);
// An opened input into its output: transfer, tags and the final name. kJobNextEntry, or the
// failing status (the entry marked failed, the user told unless cancelled).
int LJobConvertOpened(LJobBatch& b, const LJobEntry& e, LSourceRef& source);
// The transfer step: pumps source into sink behind the dialog (title on line 0).
int LConvertTransfer(LProgressDialog* dlg, const char* title, const LSourceRef& source,
                     const LSinkRef& sink);
