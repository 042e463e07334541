// Source-to-sink transfer: format fit, peak limiter, block pump with progress and cancel.
#include "core/transfer.h"

#include <vector>

#include "core/adapt.h"
#include "support/trace.h"

int LTransferSourceToSink(LProgressDialog* dlg, LPRSourceToSink* data) {
    dlg->SetText(data->title ? data->title : "", 0);
    dlg->SetText("Please wait...", 1);
    dlg->SetProgress(0.0);

    LSourceRef source = data->source;
    LSinkRef sink = data->sink;
    if (source->GetError() != LSRC_OK) {
        LTrace("LPRSourceToSink::Process Source Error");
        return LPROCESS_FAILED;
    }
    if (!sink || sink->IsUnusable()) {
        LTrace("LPRSourceToSink::Process Sink Error");
        return LPROCESS_FAILED;
    }

    ConvertSourceFormat(sink->GetSampleRate(), sink->GetChannels(), source);
    {
        LSourceRef limited;
        LSPPeakLimit(LSAMPLE_FULL_SCALE).OpenSource(limited, source);
        source = limited;
    }
    // Channel counts the adapters cannot bridge, or an adapter that could not be built, would
    // hand the sink blocks of the wrong shape: nothing is written.
    if (source->GetError() != LSRC_OK || source->GetChannels() != sink->GetChannels()) {
        LTrace("LPRSourceToSink::Process Cannot adapt the source to the sink");
        return LPROCESS_FAILED;
    }

    // A chain that left the source as it was (same rate and channels, nothing to limit) hands
    // every sample to the sink unchanged: where both store 16-bit PCM the bytes are copied.
    const bool bytes =
        source.get() == data->source.get() && source->OffersPcm16() && sink->TakesPcm16();
    double total = double(source->GetEndSample());
    if (total == 0.0) total = 1.0;
    std::vector<int32_t> block(bytes ? 0 : size_t(source->GetChannels()) * LSOUND_BLOCK_FRAMES);
    for (;;) {
        if (dlg->PumpMessages()) return LPROCESS_STOPPED;
        bool last;
        if (bytes) {
            const uint8_t* raw = nullptr;
            const int32_t n = source->ReadPcm16(raw, LSOUND_BLOCK_FRAMES);
            if (n > 0) sink->WritePcm16(raw, n);
            last = n < LSOUND_BLOCK_FRAMES;
        } else {
            source->Read(block.data(), LSOUND_BLOCK_FRAMES);
            const int32_t pos = source->GetPosition();
            const int32_t end = source->GetEndSample();
            last = pos >= end;
            const int64_t n =
                last ? LSOUND_BLOCK_FRAMES - (int64_t(pos) - end) : LSOUND_BLOCK_FRAMES;
            if (n > 0 && n <= LSOUND_BLOCK_FRAMES) sink->Write(block.data(), int32_t(n));
        }
        if (last) {
            // The file is complete only once the sink has finished it (sizes in the header,
            // the encoder's exit); a sink that failed on the way is not finished.
            const int finished = sink->IsUnusable() ? LPROCESS_FAILED : sink->Finish(dlg);
            if (finished == LPROCESS_FAILED || (finished == LPROCESS_OK && sink->IsUnusable())) {
                LTrace("LPRSourceToSink::Process Sink Error");
                return LPROCESS_FAILED;
            }
            return finished;
        }
        if (sink->IsUnusable()) {
            // A stop asked for meanwhile ends a wait on the sink's program: it is a stop.
            if (dlg->PumpMessages()) return LPROCESS_STOPPED;
            LTrace("LPRSourceToSink::Process Sink Error");
            return LPROCESS_FAILED;
        }
        dlg->SetProgress(double(source->GetPosition()) / total);
    }
}
