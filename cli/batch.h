// The headless front end's parallel batch: each entry converted by a tamber child process.
#pragma once

class LCliHost;

// Converts the selected entries (all when none is) with up to `jobs` children at once, with the
// outcome a one-at-a-time run has: the overwrite rule and its questions in list order, no new
// entry after the first failure or a Cancel, Ctrl+C passed on to every running child.
// *outcome: LPROCESS_OK, LPROCESS_STOPPED or the failing entry's status.
bool LRunParallelBatch(LCliHost& host, int jobs, int* outcome);

// Set in a child's environment: it converts one entry, its overwrite question answered Yes
// already, and says nothing but its messages.
constexpr const char* kBatchChildVariable = "TAMBER_BATCH_CHILD";
// Set, with the one above, in a worker's environment: it converts the inputs its standard input
// names (each ended by a zero byte) one after another, each as a child would, and writes each
// one's exit status on a line of its standard output.
constexpr const char* kBatchWorkerVariable = "TAMBER_BATCH_WORKER";
