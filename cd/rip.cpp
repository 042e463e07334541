// The track and sector rippers: TOC look-up, the double-buffered READ CD loop and the widening
// of CD samples into the internal sample form.
#include "cd/rip.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "cd/scsi.h"
#include "cd/toc.h"
#include "core/sink_adapt.h"
#include "support/trace.h"

namespace {

// What the loop needs from its surroundings: the stop test, the wait and the progress bar.
class RipControl {
  public:
    virtual ~RipControl() = default;
    virtual bool Stop() = 0;
    virtual int Wait(LWaitable& event, uint32_t ms) = 0;
    virtual void Progress(double fraction) {}
};

class DialogControl : public RipControl {
  public:
    explicit DialogControl(LProgressDialog* dlg) : dlg_(dlg) {}
    bool Stop() override { return dlg_->PumpMessages(); }
    int Wait(LWaitable& event, uint32_t ms) override { return dlg_->WaitForObject(event, ms); }
    void Progress(double fraction) override { dlg_->SetProgress(fraction); }

  private:
    LProgressDialog* dlg_;
};

class ThreadControl : public RipControl {
  public:
    explicit ThreadControl(LThread* thread) : thread_(thread) {}
    bool Stop() override { return thread_->StopRequested(); }
    int Wait(LWaitable& event, uint32_t ms) override {
        return thread_->StopSignal().WaitSignalDual(event, ms);
    }

  private:
    LThread* thread_;
};

// The fixed buffers of one extraction: two sector buffers and a conversion buffer for each.
struct RipBuffers {
    alignas(16) int16_t sectors[2][LCD_MAX_READ_SECTORS * LCD_SECTOR_BYTES / 2];
    int32_t wide[2][2 * LSOUND_BLOCK_FRAMES];
};

// Sends n sectors of buffer b to the sink in pieces of at most 8192 frames.
void Deliver(RipBuffers& buf, int b, int sectors, LSoundSinkBase* sink) {
    if (!sink || sectors <= 0) return;
    const int16_t* in = buf.sectors[b];
    int32_t* wide = buf.wide[b];
    int32_t frames = sectors * LCD_SECTOR_FRAMES;
    while (frames > 0) {
        int32_t piece = std::min<int32_t>(frames, LSOUND_BLOCK_FRAMES);
        for (int32_t i = 0; i < 2 * piece; ++i) wide[i] = int32_t(uint32_t(int32_t(in[i])) << 4);
        sink->Write(wide, piece);
        in += 2 * piece;
        frames -= piece;
    }
}

int RipLoop(RipControl& control, LCDROMRipSectors& data) {
    // The buffers outlive the drive object, which lets go of any request still running.
    std::unique_ptr<RipBuffers> buffers(new RipBuffers);
    LSCSI drive;
    if (!drive.OpenCDROMDrive(data.nDrive)) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "Process(LCDROMRipSectors) scsi.OpenCDROMDrive FAILED Data.nDrive=%d",
                      data.nDrive);
        LTrace(text);
        return LPROCESS_FAILED;
    }
    RipBuffers& buf = *buffers;
    LSoundSinkBase* sink = data.sink.get();
    const uint32_t first = data.firstSector, end = data.endSector;
    const uint32_t waitMs = LCDGetTimeouts().readMs;
    uint32_t s = first;
    auto left = [&](int most) { return s < end ? int(std::min<uint32_t>(end - s, most)) : 0; };

    // A read that cannot be started ends the loop with its status; so does a read that ended
    // failed (error sense, or a drive that went away), since its buffer holds no audio.
    int nA = left(13), nB = 0;
    int status = LPROCESS_OK;
    auto waitRead = [&]() {
        int w = control.Wait(drive.CompletionEvent(), waitMs);
        if (w == LPROCESS_OK && drive.CommandFailed()) w = LPROCESS_FAILED;
        return w;
    };
    for (;;) {
        if (nA > 0) {
            status = ProcessSCSICDReadDASectors(drive, s, nA, buf.sectors[0]);
            if (status != LPROCESS_OK) break;
            s += uint32_t(nA);
        }
        Deliver(buf, 1, nB, sink);
        if (nA == 0) break;
        nB = left(LCD_MAX_READ_SECTORS);
        if (control.Stop()) nB = 0;
        if ((status = waitRead()) != LPROCESS_OK) break;
        if (nB > 0) {
            status = ProcessSCSICDReadDASectors(drive, s, nB, buf.sectors[1]);
            if (status != LPROCESS_OK) break;
            s += uint32_t(nB);
        }
        Deliver(buf, 0, nA, sink);
        if (nB == 0) break;
        control.Progress(double(s - first) / double(end - first));
        nA = left(LCD_MAX_READ_SECTORS);
        if (control.Stop()) nA = 0;
        if ((status = waitRead()) != LPROCESS_OK) break;
    }
    if (status == LPROCESS_OK) status = control.Stop() ? LPROCESS_STOPPED : LPROCESS_OK;
    drive.Close();
    return status;
}

}  // namespace

int LRipSectors(LProgressDialog* dlg, LCDROMRipSectors* data) {
    char text[LMAX_PATH + 16];
    std::snprintf(text, sizeof text, "Loading %s", data->name);
    dlg->SetText(text, 0);
    dlg->SetText("Ripping Digital Audio...", 1);
    DialogControl control(dlg);
    return RipLoop(control, *data);
}

int LRipSectorsOnThread(LThread* thread, LCDROMRipSectors* data) {
    ThreadControl control(thread);
    int status = RipLoop(control, *data);
    return thread->StopRequested() ? LPROCESS_STOPPED : status;
}

int LRipSectorsFeeding(LProgressDialog* progress, LCDROMRipSectors* data) {
    DialogControl control(progress);
    int status = RipLoop(control, *data);
    return progress->PumpMessages() ? LPROCESS_STOPPED : status;
}

int LRipTrack(LProgressDialog* dlg, LCDROMRipTrack* data) {
    char text[96];
    std::snprintf(text, sizeof text, "Loading CD Track %d", data->nTrack + 1);
    dlg->SetText(text, 0);
    dlg->SetText("Getting Track Information...", 1);

    uint8_t tracks = 0;
    uint32_t addresses[256] = {};
    {
        LSCSI drive;
        if (!drive.OpenCDROMDrive(data->nDrive)) {
            std::snprintf(text, sizeof text,
                          "Process(LCDROMRipTrack) scsi.OpenCDROMDrive FAILED Data.nDrive=%d",
                          data->nDrive);
            LTrace(text);
            return LPROCESS_FAILED;
        }
        int status = ProcessSCSICDGetTOC(dlg, drive, tracks, addresses);
        if (status != LPROCESS_OK) {
            LTrace("Process(LCDROMRipper) GetTOC FAILED");
            return status == LPROCESS_STOPPED ? status : LPROCESS_FAILED;
        }
        if (data->nTrack >= tracks) {
            LTrace("Process(LCDROMRipper) Data.nTrack >= nTracks");
            return LPROCESS_FAILED;
        }
    }
    LCDROMRipSectors sectors;
    sectors.nDrive = data->nDrive;
    sectors.firstSector = addresses[data->nTrack];
    sectors.endSector = addresses[data->nTrack + 1];
    std::snprintf(sectors.name, sizeof sectors.name, "Track %d", data->nTrack + 1);
    LSinkRef rate, chain;
    LSinkConvertRate::OpenSink(rate, 44100, data->sink);
    LSinkConvertChannels::OpenSink(chain, rate, 2);
    if (!chain) return LPROCESS_FAILED;
    sectors.sink = chain;
    int status = LRipSectors(dlg, &sectors);
    // The adapters write their tail and the caller's sink completes its file (header sizes,
    // encoder exit), which may find that it could not.
    if (status == LPROCESS_OK) status = chain->IsUnusable() ? LPROCESS_FAILED : chain->Finish(dlg);
    return status;
}
