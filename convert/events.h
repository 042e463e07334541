// What the conversion job tells its front end while it runs, and what it asks of it.
#pragma once

#include "cd/accuraterip.h"
#include "convert/user.h"
#include "support/progress.h"

// Entry states, as a front end shows them (the list's images).
enum : int { LENTRY_NONE = 0, LENTRY_CONVERTING = 1, LENTRY_DONE = 2, LENTRY_FAILED = 3 };

// The job's events. Progress within an entry goes to the progress surface the job runs behind;
// questions and messages go to the user (convert/user.h). Entries are named by their index in
// the front end's list.
class LConvertEvents : public LUser {
  public:
    virtual void EntryStarted(int index) = 0;
    virtual void EntryDone(int index) = 0;
    // The entry's output read back as what was written into it (told just before EntryDone).
    virtual void EntryVerified(int index) {}
    // Failed, refused, or skipped by the overwrite rule.
    virtual void EntryFailed(int index) = 0;
    // The user stopped the batch at this entry: it and every later entry of the list (selected
    // or not) count as failed.
    virtual void BatchStopped(int index) = 0;
    // A CD track's rip compared with the AccurateRip database (track from 1).
    virtual void TrackVerified(int index, int track, const LARTrackResult& result) {}
    // The job's progress surface is about to work: shown while the window is, hidden otherwise.
    virtual void ShowProgressSurface(LProgressDialog* dlg, bool show) {}
    // The output folder is missing: may it be created? Asked like AskYesNoCancel by default.
    virtual int AskCreateFolder(const char* text) { return AskYesNoCancel(text, "Tamber"); }
};
