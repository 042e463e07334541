// The route-independent part of the SCSI commands: waiting, the outcome and the busy retry.
#include "cd/scsi.h"

#include "support/trace.h"

namespace {
LCDTimeouts g_timeouts;
}  // namespace

const LCDTimeouts& LCDGetTimeouts() {
    return g_timeouts;
}

void LCDSetTimeoutsForTesting(const LCDTimeouts& t) {
    g_timeouts = t;
}

int ProcessSCSIExecuteCommandAsync(LSCSI& drive, const uint8_t* cdb, int cdbLength, int direction,
                                   uint32_t dataLength, void* data) {
    return drive.ExecuteAsync(cdb, cdbLength, direction, dataLength, data);
}

int ProcessSCSIExecuteCommand(LProgressDialog* dlg, LSCSI& drive, const uint8_t* cdb, int cdbLength,
                              int direction, uint32_t dataLength, void* data, uint32_t timeoutMs) {
    int64_t remaining = timeoutMs;
    const uint32_t pause = LCDGetTimeouts().busyRetryMs;
    for (;;) {
        if (ProcessSCSIExecuteCommandAsync(drive, cdb, cdbLength, direction, dataLength, data) !=
            LPROCESS_OK)
            return LPROCESS_FAILED;
        int wait = dlg->WaitForObject(drive.CompletionEvent(), timeoutMs);
        if (wait != LPROCESS_OK) {
            if (wait == LPROCESS_FAILED) LTrace("ProcessSCSIExecuteCommand Wait TIMED OUT");
            return wait;
        }
        if (!drive.CommandFailed()) return LPROCESS_OK;
        if (!drive.TargetBusy()) return LPROCESS_FAILED;
        if (remaining < 0) {
            LTrace("ProcessSCSIExecuteCommand TIMED OUT");
            return LPROCESS_FAILED;
        }
        if (dlg->WaitTimed(pause) != LPROCESS_OK) return LPROCESS_STOPPED;
        remaining -= 500;
    }
}
