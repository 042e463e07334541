// The conversion job with several entries at once: each on a worker thread of its own.
#pragma once

#include "convert/jobrecord.h"
#include "support/progress.h"

// The batch behind dlg with up to job->request->jobs entries converting at once, each on a
// worker thread with a progress surface of its own (a row of dlg). The outcome is a one-at-a-time
// run's: entries are planned and their overwrite questions asked in list order on this thread,
// an entry that writes or reads another running entry's files waits for it, CD tracks are read
// one at a time here, the first failure (or a Cancel, which stops every running entry) starts no
// new entry, and the events reach the front end on this thread. The status as LConvertBatch's.
int LConvertParallel(LProgressDialog* dlg, LConvertJob* job);

// "Jobs" as a count: the stored value, the number of processors for 0 or none.
int LReadJobs();
