// The overwrite rule of a conversion run: the per-batch state and the decision for one output.
#pragma once

#include "convert/host.h"

// Per-batch overwrite state: the ask flag and the remembered answer.
struct LOverwriteState {
    bool ask = true;
    bool proceed = true;  // "continue"
    bool skip = false;
};

// The overwrite decision for one output path (a file or folder there counts as existing),
// using the "Settings" overwrite rule and asking the host at most once per batch.
void LDecideOverwrite(LConvertHost& host, const char* path, LOverwriteState& state, bool& proceed,
                      bool& skip);
