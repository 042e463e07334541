// The job's transfer step: the core transfer process with its format adaptation.
#include "core/transfer.h"

#include "convert/job.h"

int LConvertTransfer(LProgressDialog* dlg, const char* title, const LSourceRef& source,
                     const LSinkRef& sink) {
    LPRSourceToSink record;
    record.title = title;
    record.source = source;
    record.sink = sink;
    return LTransferSourceToSink(dlg, &record);
}
