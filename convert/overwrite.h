// The overwrite rule of a conversion run: the per-batch state and the decision for one output.
#pragma once

#include <cstdint>

#include "convert/entrypaths.h"
#include "convert/request.h"
#include "convert/user.h"

// The rule the "Settings" section sets now: the first one set of "AlwaysPrompt",
// "AlwaysOverwrite", "NeverOverwrite" and "CancelAll"; Overwrite when none is.
LOverwriteRule LReadOverwriteRule();

// Per-batch overwrite state: the ask flag and the remembered answer.
struct LOverwriteState {
    bool ask = true;
    bool proceed = true;  // "continue"
    bool skip = false;
};

enum class LOverwriteVerdict : uint8_t {
    Write,  // no such output yet, or it may be replaced
    Skip,   // the entry is left out; the batch goes on
    Stop,   // the batch stops here
};

// The decision for one output path (a file or folder there counts as existing): under Ask the
// user is asked at most once per batch, and the answer holds for every later existing output.
LOverwriteVerdict LDecideOverwrite(LUser& user, const char* path, LOverwriteRule rule,
                                   LOverwriteState& state);
// The rule for one planned entry: applied to the file the user gets. Writing over the input
// itself is what the user asked for by naming it: no question.
LOverwriteVerdict LEntryOverwrite(LUser& user, const LConvertRequest& request,
                                  const LEntryPaths& paths, LOverwriteState& state);
