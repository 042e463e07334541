// Fetching a disc's AccurateRip records from the database server the settings name.
#pragma once

#include <vector>

#include "cd/accuraterip.h"
#include "support/progress.h"

enum class LARLookup {
    Found,     // the disc's records
    NotFound,  // the server has no file for the disc, or its reply is no database file
    Failed,    // no connection, a time-out, a reply cut short
    Stopped,   // the user cancelled
};

// GET http://SERVER/accuraterip/... for the disc behind the progress surface (may be null).
LARLookup ProcessARLookup(LProgressDialog* dlg, const LARDiscIds& ids,
                          std::vector<LARPressing>& pressings);
