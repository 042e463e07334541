// The job's transfer step.
#include <vector>

#include "convert/job.h"
#include "support/trace.h"

int LConvertTransfer(LProgressDialog* dlg, const char* title, const LSourceRef& sourceIn,
                     const LSinkRef& sinkIn) {
    dlg->SetText(title, 0);
    dlg->SetText("Please wait...", 1);
    dlg->SetProgress(0.0);
    LSourceRef source = sourceIn;
    LSinkRef sink = sinkIn;
    if (source->GetError()) return LPROCESS_FAILED;
    if (!sink || sink->IsUnusable()) return LPROCESS_FAILED;
    if (source->GetSampleRate() != sink->GetSampleRate() ||
        source->GetChannels() != sink->GetChannels()) {
        LTrace("LConvertTransfer format adaptation not available in this build");
        return LPROCESS_FAILED;
    }
    double total = source->GetEndSample();
    if (total == 0) total = 1.0;
    std::vector<int32_t> block(size_t(source->GetChannels()) * LSOUND_BLOCK_FRAMES);
    for (;;) {
        if (dlg->PumpMessages()) return LPROCESS_STOPPED;
        source->Read(block.data(), LSOUND_BLOCK_FRAMES);
        const int32_t pos = source->GetPosition(), end = source->GetEndSample();
        if (pos >= end) {
            const int32_t n = LSOUND_BLOCK_FRAMES - (pos - end);
            if (n > 0 && n <= LSOUND_BLOCK_FRAMES) sink->Write(block.data(), n);
            return LPROCESS_OK;
        }
        sink->Write(block.data(), LSOUND_BLOCK_FRAMES);
        dlg->SetProgress(source->GetPosition() / total);
    }
}
