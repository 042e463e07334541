// The record a conversion job runs on: its request, who hears of it, and how it ended.
#pragma once

#include <cstdint>

#include "convert/events.h"
#include "convert/request.h"
#include "support/processstatus.h"

// What the job's progress surface runs: the request, who hears of it, and how it ended.
struct LConvertJob {
    const LConvertRequest* request = nullptr;
    LConvertEvents* events = nullptr;
    // 1: open errors and the raw settings dialog may be shown; cleared once one was.
    uint8_t promptOnce = 0;
    // How the batch ended, for callers that report it: LPROCESS_OK when every entry was
    // converted or skipped, LPROCESS_STOPPED when the user stopped it (overwrite Cancel, a
    // cancelled open or transfer), LPROCESS_FAILED when an entry failed.
    int outcome = LPROCESS_OK;
};
