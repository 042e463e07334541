// LPipeOut: ending the encoder's input and waiting for the encoder, the same on every platform.
#include "external/process.h"
#include "support/progress.h"
#include "support/trace.h"

bool LPipeOut::Close() {
    CloseWriteEnd();
    if (!process_.IsStarted()) return true;
    if (!process_.WaitFor(kCloseWaitMs)) {
        LTrace("LPipeOut::Close encoder still running, ended");
        process_.Kill();
    }
    const bool bad = process_.EndedBadly();
    process_.Release();
    if (bad) LTrace("LPipeOut::Close encoder failed");
    return !bad;
}

int LPipeOut::Finish(LProgressDialog* dlg) {
    CloseWriteEnd();
    if (!process_.IsStarted()) return LPROCESS_OK;
    int waited = 0;
    if (dlg) {
        waited = dlg->WaitForObject(process_, finishLimitMs);
        // The surface may have seen the end through the platform handle: take the exit code.
        if (waited == 0) process_.WaitFor(finishLimitMs);
    } else if (!process_.WaitFor(finishLimitMs)) {
        waited = LPROCESS_FAILED;
    }
    if (waited != 0) {
        LTrace(waited == LPROCESS_STOPPED ? "LPipeOut::Finish cancelled, encoder ended"
                                          : "LPipeOut::Finish encoder still running, ended");
        process_.Kill();
    }
    const bool bad = process_.EndedBadly();
    process_.Release();
    if (waited != 0) return waited;
    if (bad) {
        LTrace("LPipeOut::Finish encoder failed");
        return LPROCESS_FAILED;
    }
    return LPROCESS_OK;
}
