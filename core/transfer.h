// The source-to-sink transfer: adapts a source to a sink and pumps it block by block.
#pragma once

#include "core/sound.h"
#include "support/progress.h"

struct LPRSourceToSink {
    const char* title = "";  // line 0 of the progress surface
    LSourceRef source;       // never empty
    LSinkRef sink;           // may be empty
};

// LPROCESS_OK when the source ran out, LPROCESS_STOPPED on cancel (whole blocks written),
// LPROCESS_FAILED when the source or sink is unusable or cannot be adapted (nothing written).
int LTransferSourceToSink(LProgressDialog* dlg, LPRSourceToSink* data);
