// The job's transfer step: the core transfer process with its format adaptation, and the plain
// copy of a 16-bit PCM WAV file into one of the same format.
#include "core/transfer.h"

#include "convert/job.h"
#include "formats/wav.h"
#include "support/trace.h"

namespace {

// Every sample of a 16-bit PCM WAV source reaches a 16-bit PCM WAV sink of the same rate and
// channels unchanged (no adapter, and the limiter passes a source whose peak is full scale), so
// the bytes are copied as they are; progress, Cancel and the end as the transfer has them.
int CopyBytes(LProgressDialog* dlg, const char* title, LSRCPCMFileBase& source,
              LSNKPCMFileBase& sink) {
    dlg->SetText(title ? title : "", 0);
    dlg->SetText("Please wait...", 1);
    dlg->SetProgress(0.0);
    double total = double(source.GetEndSample());
    if (total == 0.0) total = 1.0;
    for (;;) {
        if (dlg->PumpMessages()) return LPROCESS_STOPPED;
        const uint8_t* bytes = nullptr;
        const int32_t n = source.ReadBytes(bytes, LSOUND_BLOCK_FRAMES);
        if (n > 0) sink.WriteBytes(bytes, n);
        if (sink.IsUnusable()) {
            if (dlg->PumpMessages()) return LPROCESS_STOPPED;
            LTrace("LPRSourceToSink::Process Sink Error");
            return LPROCESS_FAILED;
        }
        if (n < LSOUND_BLOCK_FRAMES) {
            const int finished = sink.Finish(dlg);
            if (finished == LPROCESS_FAILED || (finished == LPROCESS_OK && sink.IsUnusable())) {
                LTrace("LPRSourceToSink::Process Sink Error");
                return LPROCESS_FAILED;
            }
            return finished;
        }
        dlg->SetProgress(double(source.GetPosition()) / total);
    }
}

}  // namespace

int LConvertTransfer(LProgressDialog* dlg, const char* title, const LSourceRef& source,
                     const LSinkRef& sink) {
    auto* from = dynamic_cast<LSRCPCM16File*>(source.get());
    auto* to = dynamic_cast<LSNKPCM16File*>(sink.get());
    if (from && to && from->GetError() == LSRC_OK && !from->IsStreaming() &&
        from->GetPosition() == 0 && from->GetSampleRate() == to->GetSampleRate() &&
        from->GetChannels() == to->GetChannels() && !to->IsUnusable())
        return CopyBytes(dlg, title, *from, *to);
    LPRSourceToSink record;
    record.title = title;
    record.source = source;
    record.sink = sink;
    return Process(dlg, &record);
}
