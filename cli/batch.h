// The headless front end's parallel batch: each entry converted by a tamber child process.
#pragma once

#include "convert/host.h"
#include "convert/request.h"

// What the batch needs of the front end: the job's events, and the batch's progress line.
class LBatchHost : public LConvertHost {
  public:
    // The parallel batch's line, redrawn in place on a terminal, and taking it away.
    virtual void DrawBatchLine() = 0;
    virtual void ClearProgressLine() = 0;
};

// Converts a prepared request's entries with up to request.jobs children at once, with the
// outcome a one-at-a-time run has: the job's planning and overwrite rule with its questions in
// list order, no new entry after the first failure or a Cancel, Ctrl+C passed on to every
// running child. *outcome: LPROCESS_OK, LPROCESS_STOPPED or the failing entry's status.
bool LRunParallelBatch(LBatchHost& host, const LConvertRequest& request, int* outcome);

// Set in a child's environment: it converts one entry, its overwrite question answered Yes
// already, and says nothing but its messages.
constexpr const char* kBatchChildVariable = "TAMBER_BATCH_CHILD";
// Set, with the one above, in a worker's environment: it converts the inputs its standard input
// names (each ended by a zero byte) one after another, each as a child would, and writes each
// one's exit status on a line of its standard output.
constexpr const char* kBatchWorkerVariable = "TAMBER_BATCH_WORKER";
