// LPipeOut: ending the encoder's input and waiting for the encoder, the same on every platform.
#include "external/process.h"
#include "support/trace.h"

bool LPipeOut::Close() {
    CloseWriteEnd();
    if (process_.IsStarted()) {
        if (!process_.WaitFor(kCloseWaitMs)) LTrace("LPipeOut::Close encoder still running");
        const bool bad = process_.EndedBadly();
        process_.Release();
        if (bad) {
            LTrace("LPipeOut::Close encoder failed");
            return false;
        }
    }
    return true;
}
